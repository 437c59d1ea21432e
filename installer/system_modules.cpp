#include "installer/system_modules.h"

#include <stdio.h>

namespace {

bool search_restricted = false;

}  // namespace

bool restrict_dll_search() {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  typedef BOOL(WINAPI * set_default_fn)(DWORD);
  typedef BOOL(WINAPI * set_directory_fn)(LPCWSTR);
  auto set_default = reinterpret_cast<set_default_fn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    search_restricted = true;
    return true;
  }
  auto set_directory =
      reinterpret_cast<set_directory_fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDllDirectoryW")));
  if (set_directory != nullptr) set_directory(L"");
  return false;
}

HMODULE load_system_dll(const char* name) {
  wchar_t path[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  int written = _snwprintf(path + n, MAX_PATH - n, L"\\%hs", name);
  if (written < 0 || static_cast<UINT>(written) >= MAX_PATH - n) return nullptr;
  path[MAX_PATH - 1] = L'\0';
  HMODULE module = ::GetModuleHandleW(path);
  if (module != nullptr) return module;
  // Without a restricted search, the altered search order puts the module's own folder (the system
  // folder) where the program's folder would be, for the modules it imports.
  return ::LoadLibraryExW(path, nullptr, search_restricted ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}
