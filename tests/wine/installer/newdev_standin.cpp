// Test-only stand-in of the device-installer module. UpdateDriverForPlugAndPlayDevicesW answers FALSE
// with the error code named by VELMOR_TEST_NEWDEV_ERROR (after VELMOR_TEST_NEWDEV_DELAY_MS), or TRUE
// when that code is 0, then with a needed restart where VELMOR_TEST_NEWDEV_RESTART is 1 and the
// caller passed a place for it (VELMOR_TEST_NEWDEV_LOG_LINE, when set, is appended to
// <the system's Windows folder>\inf\setupapi.dev.log just before the answer, as the device installer ends its section);
// so that the installer's failure and restart paths can be driven where Wine's own module always
// succeeds. DiUninstallDriverW, which Wine lacks, answers FALSE with
// ERROR_IN_WOW64 (as Windows does to a 32-bit caller), or TRUE with a needed restart when
// VELMOR_TEST_NEWDEV_UNINSTALL is "restart"; it removes nothing. With VELMOR_TEST_NEWDEV_RECORD set,
// each call appends "update flags=0x<flags> restart=<out|null>" or "uninstall <INF file name>
// flags=0x<flags>" to that file. A hardware ID that contains VELMOR_TEST_NEWDEV_HANG never gets an
// answer, as Wine's device installer hangs on some packages.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
DWORD env_number(const char* name, DWORD fallback) {
  char text[32] = {};
  DWORD n = ::GetEnvironmentVariableA(name, text, sizeof(text));
  if (n == 0 || n >= sizeof(text)) return fallback;
  return static_cast<DWORD>(strtoul(text, nullptr, 0));
}

void record(const char* line) {
  char path[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", path, sizeof(path));
  if (n == 0 || n >= sizeof(path)) return;
  FILE* file = fopen(path, "ab");
  if (file == nullptr) return;
  fprintf(file, "%s\n", line);
  fclose(file);
}

void append_setup_log_line() {
  char line[256] = {};
  char windir[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableA("VELMOR_TEST_NEWDEV_LOG_LINE", line, sizeof(line));
  UINT w = ::GetSystemWindowsDirectoryA(windir, sizeof(windir));
  if (n == 0 || n >= sizeof(line) || w == 0 || w >= sizeof(windir)) return;
  char path[MAX_PATH + 32];
  snprintf(path, sizeof(path), "%s\\inf\\setupapi.dev.log", windir);
  FILE* file = fopen(path, "ab");
  if (file == nullptr) return;
  fprintf(file, "%s\r\n", line);
  fclose(file);
}
}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR hardware_id, LPCWSTR,
                                                                               DWORD flags, PBOOL reboot) {
  wchar_t hang[64] = {};
  DWORD n = ::GetEnvironmentVariableW(L"VELMOR_TEST_NEWDEV_HANG", hang, 64);
  if (n > 0 && n < 64 && hardware_id != nullptr && wcsstr(hardware_id, hang) != nullptr) ::Sleep(INFINITE);
  char line[64];
  snprintf(line, sizeof(line), "update flags=0x%lx restart=%s", static_cast<unsigned long>(flags),
           reboot != nullptr ? "out" : "null");
  record(line);
  ::Sleep(env_number("VELMOR_TEST_NEWDEV_DELAY_MS", 0));
  append_setup_log_line();
  if (reboot != nullptr) *reboot = FALSE;
  DWORD error = env_number("VELMOR_TEST_NEWDEV_ERROR", ERROR_GEN_FAILURE);
  if (error == 0) {
    if (reboot != nullptr && env_number("VELMOR_TEST_NEWDEV_RESTART", 0) == 1) *reboot = TRUE;
    ::SetLastError(0);
    return TRUE;
  }
  ::SetLastError(error);
  return FALSE;
}

extern "C" __declspec(dllexport) BOOL WINAPI DiUninstallDriverW(HWND, LPCWSTR inf_path, DWORD flags, PBOOL restart) {
  const wchar_t* name = inf_path != nullptr ? inf_path : L"(null)";
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c == L'\\') name = c + 1;
  }
  char line[MAX_PATH + 32];
  snprintf(line, sizeof(line), "uninstall %ls flags=0x%lx", name, static_cast<unsigned long>(flags));
  record(line);
  char answer[16] = {};
  ::GetEnvironmentVariableA("VELMOR_TEST_NEWDEV_UNINSTALL", answer, sizeof(answer));
  if (strcmp(answer, "restart") == 0) {
    if (restart != nullptr) *restart = TRUE;
    return TRUE;
  }
  ::SetLastError(0xE0000235);  // ERROR_IN_WOW64 of setupapi.h
  return FALSE;
}
