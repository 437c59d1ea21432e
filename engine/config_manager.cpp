// init_dlls: the configuration-manager entry points of enumeration and installation.
#include "engine/config_manager.h"

#include "engine/system.h"

CM_Get_Parent_fn pfnCM_Get_Parent = nullptr;
CM_Get_Child_fn pfnCM_Get_Child = nullptr;
CM_Get_Sibling_fn pfnCM_Get_Sibling = nullptr;
CM_Get_Device_IDA_fn pfnCM_Get_Device_IDA = nullptr;
CMP_WaitNoPendingInstallEvents_fn pfnCMP_WaitNoPendingInstallEvents = nullptr;

namespace {

bool dlls_ready = false;

// Looks one entry point up unless it is already known; false (logged) when it is missing.
template <typename Fn>
bool resolve_once(Fn& slot, const char* module, const char* name) {
  if (slot == nullptr) slot = resolve_function<Fn>("init_dlls", module, name);
  return slot != nullptr;
}

}  // namespace

extern "C" BOOL init_dlls(void) {
  if (dlls_ready) return TRUE;
  // The enumeration and the worker thread of an installation may both get here; every write
  // stores the same value.
  if (!resolve_once(pfnCM_Get_Parent, "Cfgmgr32.dll", "CM_Get_Parent") ||
      !resolve_once(pfnCM_Get_Child, "Cfgmgr32.dll", "CM_Get_Child") ||
      !resolve_once(pfnCM_Get_Sibling, "Cfgmgr32.dll", "CM_Get_Sibling") ||
      !resolve_once(pfnCM_Get_Device_IDA, "Cfgmgr32.dll", "CM_Get_Device_IDA") ||
      !resolve_once(pfnCMP_WaitNoPendingInstallEvents, "Setupapi.dll", "CMP_WaitNoPendingInstallEvents"))
    return FALSE;
  dlls_ready = true;
  return TRUE;
}
