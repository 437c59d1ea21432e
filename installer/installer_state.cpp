#include "installer/installer_state.h"

HANDLE engine_pipe = INVALID_HANDLE_VALUE;
char device_id_text[reply_capacity];
char hardware_id_text[reply_capacity];
char user_sid_text[reply_capacity];
HANDLE syslog_ready = nullptr;
HANDLE syslog_stop = nullptr;
int32_t saved_restore_setting = -1;

velmor::imports::CM_Locate_DevNodeA_fn pCM_Locate_DevNodeA = nullptr;
velmor::imports::CM_Reenumerate_DevNode_fn pCM_Reenumerate_DevNode = nullptr;
velmor::imports::CM_Get_DevNode_Status_fn pCM_Get_DevNode_Status = nullptr;
velmor::imports::__wgetmainargs_fn pwgetmainargs = nullptr;

velmor::imports::SetupDiGetClassDevsA_fn pSetupDiGetClassDevsA = nullptr;
velmor::imports::SetupDiDestroyDeviceInfoList_fn pSetupDiDestroyDeviceInfoList = nullptr;
velmor::imports::SetupDiEnumDeviceInfo_fn pSetupDiEnumDeviceInfo = nullptr;
velmor::imports::SetupDiGetDeviceRegistryPropertyA_fn pSetupDiGetDeviceRegistryPropertyA = nullptr;
velmor::imports::SetupDiSetDeviceRegistryPropertyA_fn pSetupDiSetDeviceRegistryPropertyA = nullptr;
velmor::imports::SetupCopyOEMInfW_fn pSetupCopyOEMInfW = nullptr;
velmor::imports::UpdateDriverForPlugAndPlayDevicesW_fn pUpdateDriverForPlugAndPlayDevicesW = nullptr;
