// System modules for run-time imports, and the facts about this process that need run-time imports.
#pragma once

#include <windows.h>

namespace velmor {

// The module of that name, loaded if it is not yet; never freed.
HMODULE load_system_library(const char* name);

// True when the process has administrator rights; false where shell32 lacks the call.
bool user_is_admin();

// True for a 32-bit process on 64-bit Windows; false where kernel32 lacks the call.
bool running_under_wow64();

}  // namespace velmor
