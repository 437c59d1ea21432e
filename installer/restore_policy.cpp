#include "installer/restore_policy.h"

#include <windows.h>
#include <prsht.h>
#include <gpedit.h>
#include <objbase.h>

#include <memory>

#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "win/handles.h"
#include "win/registry.h"
#include "protocol/restore_policy.h"

const char restore_settings_key[] = VELMOR_RESTORE_SETTINGS_KEY;

namespace {

const char restore_value[] = VELMOR_RESTORE_VALUE;
using namespace velmor::restore_policy;

bool older_than_vista() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion < 6;
}

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
    DWORD value = 0;
    r = velmor::read_registry_dword(key.get(), restore_value, &value);
    if (r == ERROR_SUCCESS) {
      saved_restore_setting = static_cast<int32_t>(value);
    } else if (r != ERROR_FILE_NOT_FOUND) {
      // A value of another type or size is not one we could write back faithfully.
      pipe_log("failed to read original DisableSystemRestore value - error %lx", static_cast<unsigned long>(r));
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

  velmor::com_ptr<IGroupPolicyObject> policy;
  HRESULT hr = ::CoCreateInstance(group_policy_class, nullptr, CLSCTX_INPROC_SERVER, group_policy_interface,
                                  policy.put_void());
  if (FAILED(hr)) {
    pipe_log("CoCreateInstance failed; hr = %lx", static_cast<unsigned long>(hr));
    return false;
  }
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
