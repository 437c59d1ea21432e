// Test-only stand-in of the device-installer module. UpdateDriverForPlugAndPlayDevicesW answers FALSE
// with the error code named by VELMOR_TEST_NEWDEV_ERROR (after VELMOR_TEST_NEWDEV_DELAY_MS), or TRUE
// when that code is 0, then with a needed restart where VELMOR_TEST_NEWDEV_RESTART is 1 and the
// caller passed a place for it (VELMOR_TEST_NEWDEV_LOG_LINE, when set, is appended to
// <the system's Windows folder>\inf\setupapi.dev.log just before the answer, as the device installer ends its section);
// so that the installer's failure and restart paths can be driven where Wine's own module always
// succeeds. DiUninstallDriverW, which Wine lacks, answers FALSE with ERROR_IN_WOW64 to a 32-bit
// caller on 64-bit Windows, as Windows does: a WoW64 process, or one whose file name begins with
// VELMOR_TEST_NEWDEV_WOW64_CALLER (a 64-bit program that stands for a 32-bit one where Wine runs no
// 32-bit program). Any other caller gets TRUE with a needed restart when VELMOR_TEST_NEWDEV_UNINSTALL
// is "restart", else FALSE with ERROR_GEN_FAILURE; it removes nothing. With VELMOR_TEST_NEWDEV_RECORD
// set, each call appends "update flags=0x<flags> restart=<out|null>" or "uninstall <INF file name>
// flags=0x<flags> by <caller's file name>" to that file. A hardware ID that contains VELMOR_TEST_NEWDEV_HANG never gets an
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

namespace {
// The file name of this process's program.
void caller_name(wchar_t (&name)[MAX_PATH]) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = L'\0';
  const wchar_t* file = path;
  for (const wchar_t* c = path; *c != L'\0'; ++c) {
    if (*c == L'\\' || *c == L'/') file = c + 1;
  }
  wcsncpy(name, file, MAX_PATH - 1);
  name[MAX_PATH - 1] = L'\0';
}

bool caller_is_32bit_on_64bit(const wchar_t* caller) {
  BOOL wow64 = FALSE;
  if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) return true;
  wchar_t stands_for[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableW(L"VELMOR_TEST_NEWDEV_WOW64_CALLER", stands_for, MAX_PATH);
  return n > 0 && n < MAX_PATH && _wcsnicmp(caller, stands_for, n) == 0;
}
}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI DiUninstallDriverW(HWND, LPCWSTR inf_path, DWORD flags, PBOOL restart) {
  const wchar_t* name = inf_path != nullptr ? inf_path : L"(null)";
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c == L'\\') name = c + 1;
  }
  wchar_t caller[MAX_PATH];
  caller_name(caller);
  char line[2 * MAX_PATH + 48];
  snprintf(line, sizeof(line), "uninstall %ls flags=0x%lx by %ls", name, static_cast<unsigned long>(flags), caller);
  record(line);
  if (caller_is_32bit_on_64bit(caller)) {
    ::SetLastError(0xE0000235);  // ERROR_IN_WOW64 of setupapi.h
    return FALSE;
  }
  char answer[16] = {};
  ::GetEnvironmentVariableA("VELMOR_TEST_NEWDEV_UNINSTALL", answer, sizeof(answer));
  if (strcmp(answer, "restart") == 0) {
    if (restart != nullptr) *restart = TRUE;
    return TRUE;
  }
  ::SetLastError(ERROR_GEN_FAILURE);
  return FALSE;
}
