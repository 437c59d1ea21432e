// System modules for run-time imports, where modules may be looked for, and the facts about this
// process that need run-time imports. The tool runs elevated from folders that a user without
// administrator rights can write (a Downloads folder, a package folder): no module may be taken
// from there.
#pragma once

#include <windows.h>

namespace velmor {

// The system module of that bare name ("newdev.dll"; ".dll" is added when there is no extension),
// by its full path in the system folder, loaded if it is not yet and never freed; its own imports
// are looked for in the system folder first. Null, with ERROR_INVALID_PARAMETER, for a name with a
// path, a drive or non-ASCII characters.
HMODULE load_system_library(const char* name);

// Restricts where the whole process looks for modules: the system folder only where the system
// offers it (SetDefaultDllDirectories: Windows 8, and Vista and 7 with the loader update), else
// without the current directory (SetDllDirectoryW(L""), XP SP1 and later).
void restrict_dll_search();

// True when the process has administrator rights; false where shell32 lacks the call. Alone in
// win/administrator.cpp: a test program links a definition of its own in its place to stand for a
// user without them (under Wine every user is an administrator), and a shipped program has no
// other.
bool user_is_admin();

// True for a 32-bit process on 64-bit Windows; false where kernel32 lacks the call.
bool running_under_wow64();

}  // namespace velmor
