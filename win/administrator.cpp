// Whether the process has administrator rights. The only definition in this file, so that a test
// program that defines velmor::user_is_admin itself never links this one (the static library's
// member is not pulled in): no switch of it exists in a shipped program.
#include "win/imports.h"
#include "win/system_module.h"

namespace velmor {

bool user_is_admin() {
  auto is_user_an_admin = imports::IsUserAnAdmin();
  return is_user_an_admin != nullptr && is_user_an_admin();
}

}  // namespace velmor
