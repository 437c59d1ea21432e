// Process-wide state of the installer program, shared by its main routine, its helpers and the
// syslog reader thread.
#pragma once

#include <windows.h>

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

