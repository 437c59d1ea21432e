/* A stand-in DLL: loads and does nothing; only its version block matters. */
#include <windows.h>

BOOL WINAPI standin_entry(HINSTANCE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI standin_entry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
