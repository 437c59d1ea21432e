// Removing a published package from the driver store together with the devices that use it: the
// device-side work that only a process of the machine's own bitness may do (a 32-bit process on
// 64-bit Windows gets ERROR_IN_WOW64 from it). Shared by the engine, which does it in its own
// process where it can, and the installer program, which the engine runs where it cannot.
#pragma once

#include <windows.h>

namespace velmor {

// Levels of the lines a removal reports (those of the engine's log).
enum removal_level { removal_info = 1, removal_warning = 2, removal_error = 3 };
// Receives each line of a removal.
using removal_log = void (*)(int level, const char* line);

struct removal_outcome {
  int status = 0;         // 0 or a negative WDI_ST_* status
  bool restart = false;   // Windows needs a restart to finish
  bool in_wow64 = false;  // the device side answered ERROR_IN_WOW64: nothing was removed
};

// Removes the published INF `published` (a bare name such as "oem12.inf", UTF-8) of the system's INF
// folder: with DiUninstallDriverW where Windows has it (it moves the devices using the package to
// the next best driver); elsewhere, or when it fails, the devices using the package are uninstalled
// first, then the package goes with SetupUninstallOEMInfW and the device tree is enumerated again.
// When the device side answers ERROR_IN_WOW64 the package stays: removing it would leave its
// devices on a package that is gone.
removal_outcome remove_published_package(const char* published, removal_log log);

// The driver store's Windows errors as WDI_ST_* statuses: denied, missing, in use, wrong bitness
// (ERROR_IN_WOW64), anything else WDI_ST_OTHER.
int driver_store_status_of(DWORD error);

}  // namespace velmor
