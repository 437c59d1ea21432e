// System modules and child-process exit codes.
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

// Looks a function up once and keeps it for the process. Logs "Unable to locate %s() in %s\n"
// (under the caller's name) when it is missing. Use as:
//   static auto fn = resolve_function<decltype(&::CryptCATOpen)>(__func__, "wintrust", "CryptCATOpen");
template <typename Fn>
Fn resolve_function(const char* caller, const char* module, const char* function);
#endif

#ifdef __cplusplus
#include "engine/log.h"
template <typename Fn>
Fn resolve_function(const char* caller, const char* module, const char* function) {
  HMODULE h = load_system_module(module);
  FARPROC p = h != nullptr ? ::GetProcAddress(h, function) : nullptr;
  if (p == nullptr) engine_log(LOG_ERROR, caller, "Unable to locate %s() in %s\n", function, module);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
}
#endif
