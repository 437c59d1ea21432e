// TEMPORARY: stand-ins for get_sid, init_dlls and the pending-installation wait until the
// extraction and enumeration work lands on main. Delete with runner_pending_deps.cpp.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

PSID get_sid(void);
BOOL init_dlls(void);
typedef DWORD(WINAPI* cmp_wait_no_pending_install_events_fn)(DWORD);
extern cmp_wait_no_pending_install_events_fn pCMP_WaitNoPendingInstallEvents;

#ifdef __cplusplus
}
#endif
