// The local policy value that stops restore points for device installations: the installer
// program switches it on for one installation, and the engine puts it back when it had to end the
// installer first. Both reach it through the local group policy object.
#pragma once

#include <windows.h>

#define VELMOR_RESTORE_SETTINGS_KEY "Software\\Policies\\Microsoft\\Windows\\DeviceInstall\\Settings"
#define VELMOR_RESTORE_VALUE "DisableSystemRestore"

namespace velmor {
namespace restore_policy {

inline const GUID group_policy_class = {0xEA502722, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
inline const GUID group_policy_interface = {0xEA502723, 0xA23D, 0x11D1,
                                            {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
// IGroupPolicyObject::Save takes these two by non-const pointer.
inline GUID registry_extension = {0x35378EAC, 0x683F, 0x11D2, {0xA8, 0x9A, 0x00, 0xC0, 0x4F, 0xBB, 0xCF, 0xA2}};
inline GUID this_tool = {0x3D271CFC, 0x2BC6, 0x4AC2, {0xB6, 0x33, 0x3B, 0xDF, 0xF5, 0xBD, 0xAB, 0x2A}};

}  // namespace restore_policy
}  // namespace velmor
