#include "engine/common/system.h"

#include "engine/common/status.h"
#include "win/system_module.h"

extern "C" HMODULE load_system_module(const char* name) { return velmor::load_system_library(name); }

extern "C" void restrict_dll_search_path(void) { velmor::restrict_dll_search(); }

extern "C" int process_exit_status(HANDLE process) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return WDI_ST_OTHER;
  if (code == 0) return WDI_ST_OK;
  if (code == STILL_ACTIVE) return WDI_ST_TIMED_OUT;
  return WDI_ST_OTHER;
}
