// init_dlls: the configuration-manager entry points of enumeration and installation.
#include "engine/enumeration/config_manager.h"

#include "engine/common/system.h"

CM_Get_Parent_fn pfnCM_Get_Parent = nullptr;
CM_Get_Child_fn pfnCM_Get_Child = nullptr;
CM_Get_Sibling_fn pfnCM_Get_Sibling = nullptr;
CM_Get_Device_IDA_fn pfnCM_Get_Device_IDA = nullptr;
CMP_WaitNoPendingInstallEvents_fn pfnCMP_WaitNoPendingInstallEvents = nullptr;

namespace {

bool dlls_ready = false;

// Takes one entry point unless it is already known; false (logged) when it is missing.
template <typename Fn>
bool resolve_once(Fn& slot, Fn found, const velmor::imports::origin& where) {
  if (slot == nullptr) slot = required_import("init_dlls", found, where);
  return slot != nullptr;
}

}  // namespace

extern "C" BOOL init_dlls(void) {
  if (dlls_ready) return TRUE;
  // The enumeration and the worker thread of an installation may both get here; every write
  // stores the same value.
  namespace imports = velmor::imports;
  if (!resolve_once(pfnCM_Get_Parent, imports::CM_Get_Parent(), imports::CM_Get_Parent_origin) ||
      !resolve_once(pfnCM_Get_Child, imports::CM_Get_Child(), imports::CM_Get_Child_origin) ||
      !resolve_once(pfnCM_Get_Sibling, imports::CM_Get_Sibling(), imports::CM_Get_Sibling_origin) ||
      !resolve_once(pfnCM_Get_Device_IDA, imports::CM_Get_Device_IDA(), imports::CM_Get_Device_IDA_origin) ||
      !resolve_once(pfnCMP_WaitNoPendingInstallEvents, imports::CMP_WaitNoPendingInstallEvents(),
                    imports::CMP_WaitNoPendingInstallEvents_origin))
    return FALSE;
  dlls_ready = true;
  return TRUE;
}
