// Test-only stand-in of the device-installer module: answers FALSE with the error code named by
// VELMOR_TEST_NEWDEV_ERROR (after VELMOR_TEST_NEWDEV_DELAY_MS), so that the installer's failure
// paths can be driven where Wine's own module always succeeds.
#include <windows.h>

#include <stdlib.h>

namespace {
DWORD env_number(const char* name, DWORD fallback) {
  char text[32] = {};
  DWORD n = ::GetEnvironmentVariableA(name, text, sizeof(text));
  if (n == 0 || n >= sizeof(text)) return fallback;
  return static_cast<DWORD>(strtoul(text, nullptr, 0));
}
}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR, LPCWSTR, DWORD,
                                                                               PBOOL reboot) {
  ::Sleep(env_number("VELMOR_TEST_NEWDEV_DELAY_MS", 0));
  if (reboot != nullptr) *reboot = FALSE;
  ::SetLastError(env_number("VELMOR_TEST_NEWDEV_ERROR", ERROR_GEN_FAILURE));
  return FALSE;
}
