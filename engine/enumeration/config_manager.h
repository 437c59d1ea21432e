// Configuration-manager entry points resolved at run time (enumeration, installation runner).
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#ifdef __cplusplus
extern "C" {
#endif

// Resolves the five entry points below. TRUE once all are found; later calls then return TRUE at
// once, and after a failure the next call retries the ones still missing.
BOOL init_dlls(void);

typedef CONFIGRET(WINAPI* CM_Get_Parent_fn)(PDEVINST parent, DEVINST device, ULONG flags);
typedef CONFIGRET(WINAPI* CM_Get_Child_fn)(PDEVINST child, DEVINST device, ULONG flags);
typedef CONFIGRET(WINAPI* CM_Get_Sibling_fn)(PDEVINST sibling, DEVINST device, ULONG flags);
typedef CONFIGRET(WINAPI* CM_Get_Device_IDA_fn)(DEVINST device, PCHAR buffer, ULONG length, ULONG flags);
typedef DWORD(WINAPI* CMP_WaitNoPendingInstallEvents_fn)(DWORD timeout_ms);

// Null until init_dlls has found them; kept for the rest of the run.
extern CM_Get_Parent_fn pfnCM_Get_Parent;
extern CM_Get_Child_fn pfnCM_Get_Child;
extern CM_Get_Sibling_fn pfnCM_Get_Sibling;
extern CM_Get_Device_IDA_fn pfnCM_Get_Device_IDA;
extern CMP_WaitNoPendingInstallEvents_fn pfnCMP_WaitNoPendingInstallEvents;

#ifdef __cplusplus
}
#endif
