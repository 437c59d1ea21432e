// Process-wide state of the installer program, shared by its main routine, its helpers and the
// syslog reader thread.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>
#include <newdev.h>
#include <setupapi.h>

#include <stdint.h>

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
typedef CONFIGRET(WINAPI* locate_devnode_fn)(PDEVINST, DEVINSTID_A, ULONG);
typedef CONFIGRET(WINAPI* reenumerate_devnode_fn)(DEVINST, ULONG);
typedef CONFIGRET(WINAPI* get_devnode_status_fn)(PULONG, PULONG, DEVINST, ULONG);
extern locate_devnode_fn pCM_Locate_DevNodeA;
extern reenumerate_devnode_fn pCM_Reenumerate_DevNode;
extern get_devnode_status_fn pCM_Get_DevNode_Status;

// Device-installer entry points (setupapi, newdev), resolved once by installer_init_dlls from the
// system folder: neither module is a known DLL on every system, so a static import could be
// satisfied from the package folder.
extern decltype(&::SetupDiGetClassDevsA) pSetupDiGetClassDevsA;
extern decltype(&::SetupDiDestroyDeviceInfoList) pSetupDiDestroyDeviceInfoList;
extern decltype(&::SetupDiEnumDeviceInfo) pSetupDiEnumDeviceInfo;
extern decltype(&::SetupDiGetDeviceRegistryPropertyA) pSetupDiGetDeviceRegistryPropertyA;
extern decltype(&::SetupDiSetDeviceRegistryPropertyA) pSetupDiSetDeviceRegistryPropertyA;
extern decltype(&::SetupCopyOEMInfW) pSetupCopyOEMInfW;
extern decltype(&::UpdateDriverForPlugAndPlayDevicesW) pUpdateDriverForPlugAndPlayDevicesW;

// The C runtime's UTF-16 argument parser; optional.
struct installer_startup_info {
  int new_mode;
};
typedef int(__cdecl* wgetmainargs_fn)(int*, wchar_t***, wchar_t***, int, installer_startup_info*);
extern wgetmainargs_fn pwgetmainargs;
