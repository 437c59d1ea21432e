// The engine's question "administrator?" for test programs: the system's answer, unless a test
// holds a not_an_administrator.
#include "administrator_standin.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>

#include "win/system_module.h"

namespace {
std::atomic<int> users{0};
}  // namespace

namespace wine_test {
not_an_administrator::not_an_administrator() { ++users; }
not_an_administrator::~not_an_administrator() { --users; }
}  // namespace wine_test

namespace velmor {
bool user_is_admin() { return users.load() == 0 && ::IsUserAnAdmin(); }
}  // namespace velmor
