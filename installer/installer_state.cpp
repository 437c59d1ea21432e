#include "installer/installer_state.h"

HANDLE engine_pipe = INVALID_HANDLE_VALUE;
char device_id_text[reply_capacity];
char hardware_id_text[reply_capacity];
char user_sid_text[reply_capacity];
HANDLE syslog_ready = nullptr;
HANDLE syslog_stop = nullptr;
int32_t saved_restore_setting = -1;

locate_devnode_fn pCM_Locate_DevNodeA = nullptr;
reenumerate_devnode_fn pCM_Reenumerate_DevNode = nullptr;
get_devnode_status_fn pCM_Get_DevNode_Status = nullptr;
wgetmainargs_fn pwgetmainargs = nullptr;

decltype(&::SetupDiGetClassDevsA) pSetupDiGetClassDevsA = nullptr;
decltype(&::SetupDiDestroyDeviceInfoList) pSetupDiDestroyDeviceInfoList = nullptr;
decltype(&::SetupDiEnumDeviceInfo) pSetupDiEnumDeviceInfo = nullptr;
decltype(&::SetupDiGetDeviceRegistryPropertyA) pSetupDiGetDeviceRegistryPropertyA = nullptr;
decltype(&::SetupDiSetDeviceRegistryPropertyA) pSetupDiSetDeviceRegistryPropertyA = nullptr;
decltype(&::SetupCopyOEMInfW) pSetupCopyOEMInfW = nullptr;
decltype(&::UpdateDriverForPlugAndPlayDevicesW) pUpdateDriverForPlugAndPlayDevicesW = nullptr;
