#include "win/system_module.h"

#include "win/imports.h"

namespace velmor {

HMODULE load_system_library(const char* name) {
  HMODULE module = ::GetModuleHandleA(name);
  return module != nullptr ? module : ::LoadLibraryA(name);
}

bool user_is_admin() {
  auto is_user_an_admin = imports::IsUserAnAdmin();
  return is_user_an_admin != nullptr && is_user_an_admin();
}

bool running_under_wow64() {
  BOOL flag = FALSE;
  auto is_wow64 = imports::IsWow64Process();
  return is_wow64 != nullptr && is_wow64(::GetCurrentProcess(), &flag) && flag;
}

}  // namespace velmor
