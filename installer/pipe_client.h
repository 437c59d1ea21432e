// The installer's end of the pipe to the engine: log lines, one-byte messages and the three
// requests.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdio.h>

#if defined(__MINGW32__)
#define INSTALLER_LOG_FORMAT __MINGW_PRINTF_FORMAT
#else
#define INSTALLER_LOG_FORMAT printf
#endif

// Opens the client end of a pipe for overlapped use, allowing the server to identify this process
// but not to act as it (the server's impersonation is limited to identification). The server must
// belong to an administrator or the system account (pipe_server_check.h). INVALID_HANDLE_VALUE
// when it cannot be opened or its server is not trusted (ERROR_ACCESS_DENIED, after a line on the
// console).
HANDLE pipe_open_client(const char* name);

// Closes the pipe once no write is under way; later sends do nothing.
void pipe_close();

// Sends one log line (cut to 254 characters) when the pipe is open; otherwise does nothing.
void pipe_log(const char* format, ...) __attribute__((format(INSTALLER_LOG_FORMAT, 1, 2)));

// Sends one message as it is.
void pipe_send_message(const void* data, size_t size);

// Sends a one-byte message.
void pipe_send_type(char type);

// Sends a system-log line (UTF-8 text) as one message.
void pipe_send_syslog(const char* text, size_t length);

// Asks the engine with a request type byte and reads its reply into buffer (reply_capacity bytes).
// Returns the number of reply bytes, or -1. A reply that would not leave room for a terminator is
// refused (-1) and drained from the pipe, so the next request reads its own reply.
int request_value(char type, char* buffer);

// Asks for the device instance ID (2), hardware ID (3) or user SID (4). Returns the filled,
// terminated buffer, or null for a failed request, an empty reply or an unknown type.
char* request_id(int type);
