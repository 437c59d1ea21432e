// System modules and child-process exit codes.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The module of that name, loaded if it is not yet; modules are never freed.
HMODULE load_system_module(const char* name);

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
