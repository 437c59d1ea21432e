// Installing a prepared driver package for one device: the installer program is started from the
// package folder and served over the installer pipe, on the caller's thread or behind the progress
// window.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "engine/enumeration/device_list.h"

#ifdef __cplusplus
extern "C" {
#endif

struct wdi_install_options {
  HWND owner_window;         // non-null: progress bar mode, the window is owned by it
  int32_t filter_mode;       // run install-filter.exe instead of the package installer
  uint32_t pending_wait_ms;  // wait for pending device installations first
  // Non-zero: nobody can answer a prompt (a quiet or desktop-less run). The installer asks the
  // device installer for a non-interactive installation and reports a needed restart instead of
  // letting Windows offer one (wdi_install_needs_restart).
  int32_t unattended;
};

struct install_request {
  struct wdi_device_entry* device;
  const char* path;      // package folder; null or "" means %TEMP%
  const char* inf_name;
  const struct wdi_install_options* options;
};

int wdi_install_driver(struct wdi_device_entry* device, const char* path, const char* inf_name,
                       const struct wdi_install_options* options);

// The whole installation on the calling thread, under this machine-wide mutex: another copy of the
// tool that holds it is installing.
#define WDI_INSTALL_MUTEX_NAME "Global\\install_driver_internal"
int install_driver_internal(void* request);

// Ends the installer process of the run of that request, if it still runs, so that the run's
// thread stops waiting for it and returns. Callable from any thread.
void stop_installation(void* request);

// Releases what a run left behind when its thread was terminated: the installer process is ended,
// the pipe, its handles and the machine-wide install mutex are closed. Call only once the thread
// is gone.
void release_abandoned_installation(void* request);

// Non-zero when the installer of the last run reported that a restart is needed to finish it
// (unattended runs only). Reset at the start of every run.
int wdi_install_needs_restart(void);
// Non-zero when the device installer of the last run refused the installation because a device
// installation policy of the machine forbids it. Reset at the start of every run.
int wdi_install_refused_by_policy(void);

// Ends the installer process of whichever run is active now, if any; callable from any thread.
// The run then returns a failure by itself (used to bound a whole unattended command).
void stop_current_installation(void);

#ifdef __cplusplus
}
#endif
