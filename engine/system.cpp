#include "engine/system.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/status.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 and its kin exist where AddDllDirectory does (Windows 8, and 7 or
// Vista with the loader update); older loaders reject the flag.
bool loader_has_search_flags() {
  static const bool has = [] {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel != nullptr && ::GetProcAddress(kernel, "AddDllDirectory") != nullptr;
  }();
  return has;
}

}  // namespace

extern "C" HMODULE load_system_module(const char* name) {
  // Only a bare module name: the module comes from the system folder, never from the program's own
  // folder (a user's Downloads folder) or the current directory, which a user without
  // administrator rights can write to.
  if (name == nullptr || name[0] == '\0' || std::strpbrk(name, "\\/:") != nullptr ||
      std::any_of(name, name + std::strlen(name), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  wchar_t system_dir[MAX_PATH];
  UINT length = ::GetSystemDirectoryW(system_dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(system_dir, length);
  path += L'\\';
  for (const char* c = name; *c != '\0'; ++c) path += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  if (std::strchr(name, '.') == nullptr) path += L".dll";
  // The module's own imports are looked for in the system folder too: with the search flag where
  // the loader has it, else from the module's folder first.
  DWORD flags = loader_has_search_flags() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH;
  return ::LoadLibraryExW(path.c_str(), nullptr, flags);
}

extern "C" void restrict_dll_search_path(void) {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  using set_default_fn = BOOL(WINAPI*)(DWORD);
  using set_directory_fn = BOOL(WINAPI*)(LPCWSTR);
  auto set_default = reinterpret_cast<set_default_fn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  auto set_directory = reinterpret_cast<set_directory_fn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDllDirectoryW")));
  if (set_directory != nullptr) set_directory(L"");
}

extern "C" int process_exit_status(HANDLE process) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return WDI_ST_OTHER;
  if (code == 0) return WDI_ST_OK;
  if (code == STILL_ACTIVE) return WDI_ST_TIMED_OUT;
  return WDI_ST_OTHER;
}
