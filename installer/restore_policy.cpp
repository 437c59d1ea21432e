#include "installer/restore_policy.h"

#include <windows.h>
#include <prsht.h>
#include <gpedit.h>
#include <objbase.h>

#include <memory>

#include "engine/win_raii.h"
#include "installer/installer_state.h"
#include "installer/pipe_client.h"

const char restore_settings_key[] = "Software\\Policies\\Microsoft\\Windows\\DeviceInstall\\Settings";

namespace {

const char restore_value[] = "DisableSystemRestore";

const GUID group_policy_class = {0xEA502722, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
const GUID group_policy_interface = {0xEA502723, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
GUID registry_extension = {0x35378EAC, 0x683F, 0x11D2, {0xA8, 0x9A, 0x00, 0xC0, 0x4F, 0xBB, 0xCF, 0xA2}};
GUID this_tool = {0x3D271CFC, 0x2BC6, 0x4AC2, {0xB6, 0x33, 0x3B, 0xDF, 0xF5, 0xBD, 0xAB, 0x2A}};

bool older_than_vista() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion < 6;
}

struct release_object {
  void operator()(IGroupPolicyObject* p) const {
    if (p != nullptr) p->Release();
  }
};

}  // namespace

bool apply_restore_setting(HKEY machine_key, bool disable, LONG* value_result) {
  velmor::unique_hkey key;
  DWORD disposition = 0;
  LONG r = ::RegCreateKeyExA(machine_key, restore_settings_key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                             nullptr, key.put(), &disposition);
  if (r != ERROR_SUCCESS) {
    pipe_log("RegCreateKeyEx failed - error %lx", static_cast<unsigned long>(r));
    return false;
  }
  if (disposition == REG_OPENED_EXISTING_KEY && disable && saved_restore_setting == -1) {
    DWORD value = 0, size = sizeof(value), type = 0;
    r = ::RegQueryValueExA(key.get(), restore_value, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (r == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value)) {
      saved_restore_setting = static_cast<int32_t>(value);
    } else if (r != ERROR_FILE_NOT_FOUND) {
      // A value of another type or size is not one we could write back faithfully.
      pipe_log("failed to read original DisableSystemRestore value - error %lx",
               static_cast<unsigned long>(r != ERROR_SUCCESS ? r : ERROR_INVALID_DATA));
    }
  }
  if (!disable && saved_restore_setting == -1) {
    r = ::RegDeleteValueA(key.get(), restore_value);
  } else {
    DWORD value = disable ? 1 : static_cast<DWORD>(saved_restore_setting);
    r = ::RegSetValueExA(key.get(), restore_value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof(value));
  }
  if (r != ERROR_SUCCESS) {
    pipe_log("RegSetValueEx / RegDeleteValue failed - error %lx", static_cast<unsigned long>(r));
  }
  *value_result = r;
  return true;
}

bool set_restore_point_policy(bool disable) {
  if (older_than_vista()) return true;

  IGroupPolicyObject* raw = nullptr;
  HRESULT hr = ::CoCreateInstance(group_policy_class, nullptr, CLSCTX_INPROC_SERVER, group_policy_interface,
                                  reinterpret_cast<void**>(&raw));
  if (FAILED(hr)) {
    pipe_log("CoCreateInstance failed; hr = %lx", static_cast<unsigned long>(hr));
    return false;
  }
  std::unique_ptr<IGroupPolicyObject, release_object> policy(raw);
  hr = policy->OpenLocalMachineGPO(GPO_OPEN_LOAD_REGISTRY);
  if (FAILED(hr)) {
    pipe_log("OpenLocalMachineGPO failed - error %lx", static_cast<unsigned long>(hr));
    return false;
  }
  velmor::unique_hkey machine_key;
  hr = policy->GetRegistryKey(GPO_SECTION_MACHINE, machine_key.put());
  if (FAILED(hr)) {
    pipe_log("GetRegistryKey failed - error %lx", static_cast<unsigned long>(hr));
    return false;
  }
  LONG value_result = ERROR_SUCCESS;
  if (!apply_restore_setting(machine_key.get(), disable, &value_result)) return false;
  machine_key.reset();
  hr = policy->Save(TRUE, disable ? TRUE : FALSE, &registry_extension, &this_tool);
  // A value written but not saved changed nothing: that is no success either.
  if (value_result != ERROR_SUCCESS || FAILED(hr)) {
    pipe_log("unable to apply DisableSystemRestore policy - error %lx", static_cast<unsigned long>(hr));
    return false;
  }
  pipe_log("successfully %s the system restore point creation setting", disable ? "disabled" : "restored");
  return true;
}
