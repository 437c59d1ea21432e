// The configuration-manager entry points of enumeration and installation (win/import_list.h).
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// TRUE when CM_Get_Parent, CM_Get_Child, CM_Get_Sibling, CM_Get_Device_IDA and
// CMP_WaitNoPendingInstallEvents are all there; the first missing one is logged under "init_dlls".
// Callers then take them from velmor::imports.
BOOL init_dlls(void);

#ifdef __cplusplus
}
#endif
