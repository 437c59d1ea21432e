#include "installer/installer_state.h"

HANDLE engine_pipe = INVALID_HANDLE_VALUE;
char device_id_text[reply_capacity];
char hardware_id_text[reply_capacity];
char user_sid_text[reply_capacity];
HANDLE syslog_ready = nullptr;
HANDLE syslog_stop = nullptr;
int32_t saved_restore_setting = -1;

