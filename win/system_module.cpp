#include "win/system_module.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "win/imports.h"

namespace velmor {
namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 and its kin exist where AddDllDirectory does; older loaders reject
// the flag.
bool loader_has_search_flags() {
  static const bool has = imports::AddDllDirectory() != nullptr;
  return has;
}

}  // namespace

HMODULE load_system_library(const char* name) {
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
  HMODULE loaded = ::GetModuleHandleW(path.c_str());
  if (loaded != nullptr) return loaded;
  // Cfgmgr32 forwards to setupapi on some systems (XP, Wine), and a forwarder's module not yet
  // loaded is looked for beside the program whatever the search restriction: setupapi comes from
  // the system folder first.
  if (_stricmp(name, "cfgmgr32.dll") == 0 || _stricmp(name, "cfgmgr32") == 0) load_system_library("setupapi.dll");
  // The module's own imports come from the system folder too: with the search flag where the
  // loader has it, else from the module's own folder first.
  DWORD flags = loader_has_search_flags() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH;
  return ::LoadLibraryExW(path.c_str(), nullptr, flags);
}

void restrict_dll_search() {
  if (auto set_default = imports::SetDefaultDllDirectories()) {
    if (set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  }
  if (auto set_directory = imports::SetDllDirectoryW()) set_directory(L"");
}

bool running_under_wow64() {
  BOOL flag = FALSE;
  auto is_wow64 = imports::IsWow64Process();
  return is_wow64 != nullptr && is_wow64(::GetCurrentProcess(), &flag) && flag;
}

}  // namespace velmor
