// Device-tree work of the installer: configuration-manager entry points, re-enumeration after an
// installation, and flagging remembered-but-removed devices for reinstallation.
#pragma once

// Resolves the configuration-manager and device-installer entry points (required) and the C
// runtime's UTF-16 argument parser (optional), each from its module in the system folder. True
// when the required ones are there.
bool installer_init_dlls();

// Re-enumerates the node of a device instance ID (null: the root of the device tree). 0 or -1.
int reenumerate_device(const char* instance_id);

// Sets the reinstall flag on every removed USB device whose first hardware ID equals hardware_id
// (null compares as "<NULL>").
void flag_removed_devices(const char* hardware_id);
