// System modules, run-time entry points and child-process exit codes.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The system module of that bare name ("crypt32", "version.dll"), loaded from the system folder
// if it is not loaded yet; null for a name with a path. Modules are never freed.
HMODULE load_system_module(const char* name);

// Takes the program's own folder and the current directory out of the search for modules loaded
// by bare name, as far as the system allows: only the system folder where the loader supports
// that (SetDefaultDllDirectories), else at least not the current directory (SetDllDirectoryW).
// Called first thing at program start.
void restrict_dll_search_path(void);

// 0 -> 0, STILL_ACTIVE -> -7 (timed out), anything else or an unreadable code -> -99.
int process_exit_status(HANDLE process);

#ifdef __cplusplus
}

#include "engine/common/log.h"
#include "win/imports.h"

// An entry point of the run-time import list (win/import_list.h) that the caller cannot do without,
// named once: a missing one is logged, at every call, as "Unable to locate %s() in %s\n" under the
// caller's name.
//   auto open = required_import<velmor::imports::CryptCATOpen>(__func__);
template <auto entry>
auto required_import(const char* caller) {
  constexpr const velmor::imports::origin& where = velmor::imports::origin_of<entry>;
  static_assert(where.function != nullptr, "not an entry of win/import_list.h");
  auto found = entry();
  if (found == nullptr) engine_log(LOG_ERROR, caller, "Unable to locate %s() in %s\n", where.function, where.module);
  return found;
}
#endif
