// Work that only a process of the machine's own bitness may do, done by the installer program of
// that bitness, which the engine runs and serves over the installer pipe as for an installation.
#pragma once

// Runs installer_x64.exe (64-bit Windows) or installer_x86.exe from `folder` with `arguments` and
// serves it until it reports its status, which is returned; the caller holds the install mutex.
// `restart_needed` (may be null) is set non-zero when the installer reported that Windows needs a
// restart. In install.cpp, beside the installation it shares the runner with.
int run_native_installer(const char* folder, const char* arguments, int* restart_needed);

// Removes the published package `published` ("oem12.inf") and its devices in the installer
// program (win/driver_removal.h), written for this into a protected folder of its own. 0 or a
// status; `restart` tells whether Windows needs a restart to finish.
int remove_package_natively(const char* published, bool* restart);
