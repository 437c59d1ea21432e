// Switching system-restore-point creation off by local policy for the duration of an
// installation, and putting the setting back afterwards.
#pragma once

#include <windows.h>

// Disables (true) or puts back (false) the setting through the local machine policy object.
// Does nothing on systems before Vista. True on success (value written and policy saved); only a
// successful switch-off is to be put back.
bool set_restore_point_policy(bool disable);

// The registry part under a policy's machine key: creates the device-install settings key, saves
// the value found there before the first disable (saved_restore_setting), then writes 1, writes
// the saved value back, or deletes the value when none was saved. False when the key cannot be
// opened (logged); otherwise *value_result holds the result of the write or delete.
bool apply_restore_setting(HKEY machine_key, bool disable, LONG* value_result);

// The settings key under the machine key.
extern const char restore_settings_key[];
