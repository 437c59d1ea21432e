// The tool's driver packages in the system's driver store: finding them by what the tool wrote
// into them, and removing them again. Text is UTF-8.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The Provider every INF template of ours names: what tells our packages and drivers from others.
#define WDI_DRIVER_PROVIDER "Velmor"

struct wdi_store_package {
  char published_name[MAX_PATH];  // the INF's name in the system's INF folder, e.g. "oem12.inf"
};

// The packages this tool put into the driver store from an INF named `inf_name`: INFs of the
// system's INF folder whose original name is `inf_name`, whose provider is ours and whose catalog
// is "<inf_name without .inf>.cat". Fills at most `capacity` records; returns how many there are
// (possibly more than `capacity`), or a negative status when the folder cannot be read.
int wdi_find_store_packages(const char* inf_name, struct wdi_store_package* packages, int capacity);

// Removes one package from the driver store together with the devices using it
// (win/driver_removal.h). Where this process may not do the device side (a 32-bit process on
// 64-bit Windows: ERROR_IN_WOW64), the installer program of the machine's bitness does the whole
// removal. The caller holds the install mutex (WDI_INSTALL_MUTEX_NAME). `restart_needed` (may be
// null) is set non-zero when Windows needs a restart to finish.
int wdi_remove_store_package(const struct wdi_store_package* package, int* restart_needed);

// 1 when the driver the device with this instance ID has came from a package of ours (its driver
// key names our provider); 0 for another driver, none, or no such device; -2 for a null ID, -11 when
// an entry point is missing.
int wdi_device_has_own_driver(const char* instance_id);

#ifdef __cplusplus
}
#endif
