// What the dialog and the command line share, so that both do exactly the same: the device list
// and the dialog's driver test (ProbeView.cpp), and the install and extract routines
// (Commands.cpp).
#pragma once

#include <windows.h>

#include "app/CommandRules.h"
#include "app/ProbeRecord.h"
#include "engine/engine.h"

// True when the slot's device has the expected service: the name lower-cased in the ANSI code
// page, then compared exactly.
bool HasService(const ProbeInterfaceSlot& slot, const char* expected);

// Frees a device list; retries briefly while another process frees one.
void DestroyList(wdi_device_entry* list);

// One attempt of the install routine of `row`: the package is prepared from the template record
// (filled here) in "<user's profile folder>\<folder>" and installed for the probe's own record of that
// interface, or for the template record when `probe` is null or lacks the interface. `options`
// decides progress window (owner_window set) or none. When `stop` (an event, optional) is signalled
// by the end of the preparation, nothing is installed: WDI_ST_CANCELLED.
int InstallPackage(const CommandInterface& row, const ProbeRecord* probe, wdi_device_entry* template_device,
                   const wdi_install_options* options, HANDLE stop = nullptr);

// The extract routine of `row`: the package prepared from the template record into `folder` (a
// bare name lands under the current directory).
int ExtractPackage(const CommandInterface& row, const char* folder, wdi_device_entry* template_device);

// The pause after a failed attempt.
void PauseAfterAttempt(unsigned ms);
// The bound of one unattended attempt (kAttemptLimitMs in the shipped program).
unsigned AttemptLimitMs();
