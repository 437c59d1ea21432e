// Process-wide state of the installer program, shared by its main routine, its helpers and the
// syslog reader thread.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>
#include <newdev.h>
#include <setupapi.h>

#include <stdint.h>

#include "win/imports.h"

// Every reply buffer holds a reply of at most reply_capacity - 1 bytes and its terminator.
enum { reply_capacity = 512 };

extern HANDLE engine_pipe;  // client end of the pipe; INVALID_HANDLE_VALUE when not open
extern char device_id_text[reply_capacity];
extern char hardware_id_text[reply_capacity];
extern char user_sid_text[reply_capacity];
extern HANDLE syslog_ready;  // set by the syslog reader once it follows a log file
extern HANDLE syslog_stop;   // set by the main routine to end the syslog reader
extern int32_t saved_restore_setting;  // -1: no "DisableSystemRestore" value was found

// Configuration-manager entry points, resolved once by installer_init_dlls.
extern velmor::imports::CM_Locate_DevNodeA_fn pCM_Locate_DevNodeA;
extern velmor::imports::CM_Reenumerate_DevNode_fn pCM_Reenumerate_DevNode;
extern velmor::imports::CM_Get_DevNode_Status_fn pCM_Get_DevNode_Status;

// Device-installer entry points (setupapi, newdev), resolved once by installer_init_dlls from the
// system folder: neither module is a known DLL on every system, so a static import could be
// satisfied from the package folder.
extern velmor::imports::SetupDiGetClassDevsA_fn pSetupDiGetClassDevsA;
extern velmor::imports::SetupDiDestroyDeviceInfoList_fn pSetupDiDestroyDeviceInfoList;
extern velmor::imports::SetupDiEnumDeviceInfo_fn pSetupDiEnumDeviceInfo;
extern velmor::imports::SetupDiGetDeviceRegistryPropertyA_fn pSetupDiGetDeviceRegistryPropertyA;
extern velmor::imports::SetupDiSetDeviceRegistryPropertyA_fn pSetupDiSetDeviceRegistryPropertyA;
extern velmor::imports::SetupCopyOEMInfW_fn pSetupCopyOEMInfW;
extern velmor::imports::UpdateDriverForPlugAndPlayDevicesW_fn pUpdateDriverForPlugAndPlayDevicesW;

// The C runtime's UTF-16 argument parser (its last argument is the new-mode flag); optional.
extern velmor::imports::__wgetmainargs_fn pwgetmainargs;
