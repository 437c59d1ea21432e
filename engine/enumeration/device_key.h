// A registry key of one device named by its instance ID, in a device information set of its own.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace velmor::enumeration {

// Opens the device's hardware key (DIREG_DEV) or driver key (DIREG_DRV) for reading. 0 with the
// key; -4 when the device or the key is not there; -2 for a null ID; -11 when an entry point is
// missing (logged under `caller`).
int open_device_key(const char* instance_id, DWORD which, const char* caller, unique_hkey* key);

}  // namespace velmor::enumeration
