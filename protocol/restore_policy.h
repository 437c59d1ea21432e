// The local policy value that stops restore points for device installations: the installer
// program switches it on for one installation, and the engine puts it back when it had to end the
// installer first. Both reach it through win/restore_policy_store.h.
#pragma once

#define VELMOR_RESTORE_SETTINGS_KEY "Software\\Policies\\Microsoft\\Windows\\DeviceInstall\\Settings"
#define VELMOR_RESTORE_VALUE "DisableSystemRestore"
