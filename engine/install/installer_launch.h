// Starting the installer program. The engine runs elevated and the installer with it: it is
// started by its absolute path with CreateProcessW (never through the shell, whose verbs, App
// Paths and search path the user can change) and inherits no handle it does not need.
#pragma once

#include <windows.h>

#include "win/handles.h"

// Starts the program at `application` (made absolute first; the file the command line names) with
// `command_line`, in `folder`, without a window. With `output`, that handle becomes the child's
// standard output and error, and only it (and an inheritable standard input of ours) is inherited
// where the system can say so (Vista on); without, nothing is inherited. WDI_ST_OK with the
// process and thread handles, else a status after one log line under install_driver_internal.
int start_installer_process(const char* application, const char* command_line, const char* folder, HANDLE output,
                            velmor::unique_handle* process, velmor::unique_handle* thread);
