// The server end of the installer pipe and the check of its client. The pipe carries the device's
// hardware ID to an elevated installer, so nobody else may serve it or talk to it: the engine makes
// the pipe's first instance itself under a name drawn for the run (nobody can take it first; one
// taken all the same fails), with a DACL for administrators and the system account, refusing
// remote clients where the system can, and talks only to the installer it started.
#pragma once

#include <windows.h>

#include <cstddef>

// The server end of the running installation (install.cpp); the message handler writes its
// replies on it. INVALID_HANDLE_VALUE outside a run. Private to the installation module.
extern HANDLE installer_pipe;

// The server end of the pipe `name`, for overlapped message I/O; INVALID_HANDLE_VALUE after
// logging why.
HANDLE create_installer_pipe(const char* name);

// A fresh name for the pipe of one run (INSTALLER_PIPE_NAME_SIZE bytes) and the installer's
// argument that hands it on; false when the system's generator fails.
bool draw_installer_pipe_name(char* name, char* argument, size_t argument_size);

// True when the client connected to `pipe` is the process `expected`, or where the system cannot
// name a pipe's client (XP). False after logging why, also when the system cannot tell this time.
bool installer_pipe_client_is(HANDLE pipe, DWORD expected);
