#include "win/restore_policy_store.h"

#include <prsht.h>
#include <gpedit.h>
#include <objbase.h>

#include "protocol/restore_policy.h"
#include "win/handles.h"
#include "win/registry.h"

const char* restore_policy_key_for_tests = nullptr;

namespace velmor {
namespace {

const char kValue[] = VELMOR_RESTORE_VALUE;
const GUID kPolicyClass = {0xEA502722, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
const GUID kPolicyInterface = {0xEA502723, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
// Save takes these two by non-const pointer.
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

// Reads into `found` (when given), then writes `target` (when given) under `root`\`path`. A read
// only opens: a missing key is an absent value, and nothing unsaved is created.
restore_policy_result use_settings(HKEY root, const char* path, restore_setting* found, const restore_setting* target) {
  unique_hkey key;
  LONG opened = target == nullptr ? ::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, key.put())
                                  : ::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                                      nullptr, key.put(), nullptr);
  if (opened != ERROR_SUCCESS && !(opened == ERROR_FILE_NOT_FOUND && target == nullptr)) {
    return {restore_policy_step::settings_key, opened};
  }
  restore_policy_result r;
  if (found != nullptr) {
    DWORD value = 0;
    r.read_error = key ? read_registry_dword(key.get(), kValue, &value) : ERROR_FILE_NOT_FOUND;
    *found = restore_setting{r.read_error == ERROR_SUCCESS, r.read_error == ERROR_SUCCESS ? value : 0};
  }
  if (target == nullptr) return r;
  LONG written = target->present ? ::RegSetValueExA(key.get(), kValue, 0, REG_DWORD,
                                                    reinterpret_cast<const BYTE*>(&target->value), sizeof(DWORD))
                                 : ::RegDeleteValueA(key.get(), kValue);
  if (written != ERROR_SUCCESS) {
    r.failed = restore_policy_step::write_value;
    r.error = written;
  }
  return r;
}

restore_policy_result on_local_policy(restore_setting* found, const restore_setting* target, bool add) {
  com_ptr<IGroupPolicyObject> policy;
  HRESULT hr = ::CoCreateInstance(kPolicyClass, nullptr, CLSCTX_INPROC_SERVER, kPolicyInterface, policy.put_void());
  if (FAILED(hr)) return {restore_policy_step::create_object, hr};
  hr = policy->OpenLocalMachineGPO(GPO_OPEN_LOAD_REGISTRY);
  if (FAILED(hr)) return {restore_policy_step::open_policy, hr};
  unique_hkey machine;
  hr = policy->GetRegistryKey(GPO_SECTION_MACHINE, machine.put());
  if (FAILED(hr)) return {restore_policy_step::machine_key, hr};
  restore_policy_result r = use_settings(machine.get(), VELMOR_RESTORE_SETTINGS_KEY, found, target);
  // The policy writes its file from its registry part, closed first.
  machine.reset();
  if (!r.reached() || target == nullptr) return r;
  // "Add" registers the registry extension with the policy, for a setting switched on.
  r.save_error = policy->Save(TRUE, add ? TRUE : FALSE, &registry_extension, &this_tool);
  if (r.failed == restore_policy_step::none && FAILED(r.save_error)) {
    r.failed = restore_policy_step::save;
    r.error = r.save_error;
  }
  return r;
}

restore_policy_result run(restore_setting* found, const restore_setting* target, bool add) {
  if (restore_policy_key_for_tests != nullptr) {
    return use_settings(HKEY_CURRENT_USER, restore_policy_key_for_tests, found, target);
  }
  if (older_than_vista()) return {restore_policy_step::no_policy, 0};
  // The multithreaded model: a single-threaded apartment would give the process a window of its
  // own, and the engine's /quiet opens none. Only a start of our own is ended.
  HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  restore_policy_result r = on_local_policy(found, target, add);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return r;
}

}  // namespace

restore_policy_result read_restore_policy(restore_setting* found) { return run(found, nullptr, false); }

restore_policy_result switch_restore_policy_off(restore_setting* before) {
  const restore_setting off{true, 1};
  return run(before, &off, true);
}

restore_policy_result put_restore_policy_back(const restore_setting& original) {
  return run(nullptr, &original, false);
}

}  // namespace velmor
