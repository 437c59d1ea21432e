// Test-only DLL, built under the names of system modules and planted beside a test program, as a
// program without administrator rights could plant it beside the tool: loaded, it says so in the
// process's environment.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ::SetEnvironmentVariableW(L"VELMOR_PLANTED_MODULE_LOADED", L"1");
  return TRUE;
}
