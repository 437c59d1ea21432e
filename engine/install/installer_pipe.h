// The server end of the installer pipe and the check of its client. The pipe carries the device's
// hardware ID to an elevated installer, so nobody else may serve it or talk to it: the engine makes
// the pipe's first instance itself (a name already taken fails), with a DACL for administrators
// and the system account, refusing remote clients where the system can, and talks only to the
// installer it started.
#pragma once

#include <windows.h>

// The server end of the running installation (install.cpp); the message handler writes its
// replies on it. INVALID_HANDLE_VALUE outside a run. Private to the installation module.
extern HANDLE installer_pipe;

// The server end, for overlapped message I/O; INVALID_HANDLE_VALUE after logging why.
HANDLE create_installer_pipe();

// True when the client connected to `pipe` is the process `expected`, or where the system cannot
// name a pipe's client (XP). False after logging why, also when the system cannot tell this time.
bool installer_pipe_client_is(HANDLE pipe, DWORD expected);
