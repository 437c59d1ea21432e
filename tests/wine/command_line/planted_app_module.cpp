// Test-only DLL, built as comctl32.dll and setupapi.dll and planted beside a copy of the app, as a
// user without administrator rights could plant it in a download folder. It exports the names the
// app once imported from both modules (so a loader that took it would start the app), and marks its
// loading with a file beside itself: "<its own path>.loaded".
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8] = {};
  DWORD n = ::GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  lstrcatW(path, L".loaded");
  HANDLE mark = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (mark != INVALID_HANDLE_VALUE) ::CloseHandle(mark);
  return TRUE;
}

// Stand-ins that fail, under the exported names only (no system header declares them here).
extern "C" {
__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void*) { return FALSE; }
__declspec(dllexport) HANDLE WINAPI SetupDiGetClassDevsA(const void*, const char*, HWND, DWORD) {
  return INVALID_HANDLE_VALUE;
}
__declspec(dllexport) BOOL WINAPI SetupDiEnumDeviceInfo(HANDLE, DWORD, void*) { return FALSE; }
__declspec(dllexport) BOOL WINAPI SetupDiDestroyDeviceInfoList(HANDLE) { return TRUE; }
__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HANDLE, void*, DWORD, DWORD*, BYTE*, DWORD, DWORD*) {
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HANDLE, void*, DWORD, DWORD*, BYTE*, DWORD, DWORD*) {
  return FALSE;
}
__declspec(dllexport) HKEY WINAPI SetupDiOpenDevRegKey(HANDLE, void*, DWORD, DWORD, DWORD, REGSAM) {
  return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
}
}
