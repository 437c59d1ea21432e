// Where the installer's system modules come from. The program runs elevated from a package folder
// that the non-elevated user can write: no module may be taken from there (or from the current
// directory, which is the same folder).
#pragma once

#include <windows.h>

// Restricts the DLL search of the whole process to the system folder where the system offers it
// (SetDefaultDllDirectories: Windows 8, and Vista and 7 with their update), else takes the current
// directory out of it (SetDllDirectoryW(L""), XP SP1 and later). Both are looked up at run time.
// True when the search is restricted to the system folder.
bool restrict_dll_search();

// A system module (file name such as "newdev.dll") by its full path in the system folder, loaded
// there if it is not loaded yet; the modules it needs are then looked for in the system folder
// first. Null when the system folder does not hold it.
HMODULE load_system_dll(const char* name);
