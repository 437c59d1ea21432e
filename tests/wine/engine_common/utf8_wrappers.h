// UTF-8 wrappers of wide Windows calls that only tests use: each converts its strings, calls the
// wide function, frees the copies and restores the last-error value the wide call left.
#pragma once

#include <windows.h>
#include <shellapi.h>

// Bytes written into the 260-byte buffer including the terminator, or 0.
DWORD current_directory_utf8(char directory[MAX_PATH]);
int create_directory_utf8(const char* path, const SECURITY_ATTRIBUTES* security);
// The record is SHELLEXECUTEINFOA with UTF-8 strings; a wrong cbSize fails with ERROR_BAD_LENGTH.
BOOL shell_execute_utf8(SHELLEXECUTEINFOA* info);
// The startup record is STARTUPINFOA with UTF-8 strings; a wrong cb fails with ERROR_BAD_LENGTH.
// The process starts with inheritable handles, CREATE_NO_WINDOW and the inherited environment.
BOOL create_process_utf8(const char* command_line, const char* current_directory, STARTUPINFOA* startup,
                         PROCESS_INFORMATION* process);

