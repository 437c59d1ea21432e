#include "win/restore_policy_store.h"

#include <prsht.h>
#include <gpedit.h>
#include <objbase.h>

#include "protocol/restore_policy.h"
#include "win/handles.h"
#include "win/registry.h"

extern "C" {
const char* restore_policy_key_for_tests = nullptr;
}

namespace velmor {
namespace {

const char kSettingsKey[] = VELMOR_RESTORE_SETTINGS_KEY;
const char kValue[] = VELMOR_RESTORE_VALUE;

const GUID kGroupPolicyClass = {0xEA502722, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
const GUID kGroupPolicyInterface = {0xEA502723, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
// IGroupPolicyObject::Save takes these two by non-const pointer.
GUID registry_extension = {0x35378EAC, 0x683F, 0x11D2, {0xA8, 0x9A, 0x00, 0xC0, 0x4F, 0xBB, 0xCF, 0xA2}};
GUID this_tool = {0x3D271CFC, 0x2BC6, 0x4AC2, {0xB6, 0x33, 0x3B, 0xDF, 0xF5, 0xBD, 0xAB, 0x2A}};

enum class change { none, switch_off, put_back };

struct access {
  change what;
  restore_setting* found;           // read first when given
  const restore_setting* original;  // for put_back
};

bool older_than_vista() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion < 6;
}

// A read only opens: a missing key is an absent value, and nothing is created that is not saved.
bool open_settings(HKEY root, const char* path, const access& a, unique_hkey* key, restore_policy_result* r) {
  LONG opened = a.what == change::none
                    ? ::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, key->put())
                    : ::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                                        key->put(), nullptr);
  if (opened == ERROR_SUCCESS || (opened == ERROR_FILE_NOT_FOUND && a.what == change::none)) return true;
  r->failed = restore_policy_step::settings_key;
  r->error = opened;
  return false;
}

// The read and the change on the settings key (null: missing, for a read).
void use_settings(HKEY key, const access& a, restore_policy_result* r) {
  if (a.found != nullptr) {
    DWORD value = 0;
    r->read_error = key == nullptr ? ERROR_FILE_NOT_FOUND : read_registry_dword(key, kValue, &value);
    *a.found = restore_setting{};
    if (r->read_error == ERROR_SUCCESS) *a.found = restore_setting{true, value};
  }
  if (a.what == change::none) return;
  if (a.what == change::put_back && !a.original->present) {
    r->write_error = ::RegDeleteValueA(key, kValue);
    return;
  }
  DWORD value = a.what == change::switch_off ? 1 : a.original->value;
  r->write_error = ::RegSetValueExA(key, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

restore_policy_result on_test_key(const access& a) {
  restore_policy_result r;
  unique_hkey key;
  if (open_settings(HKEY_CURRENT_USER, restore_policy_key_for_tests, a, &key, &r)) use_settings(key.get(), a, &r);
  return r;
}

restore_policy_result on_local_policy(const access& a) {
  restore_policy_result r;
  com_ptr<IGroupPolicyObject> policy;
  HRESULT hr = ::CoCreateInstance(kGroupPolicyClass, nullptr, CLSCTX_INPROC_SERVER, kGroupPolicyInterface,
                                  policy.put_void());
  if (FAILED(hr)) r.failed = restore_policy_step::create_object;
  if (r.reached()) {
    hr = policy->OpenLocalMachineGPO(GPO_OPEN_LOAD_REGISTRY);
    if (FAILED(hr)) r.failed = restore_policy_step::open_policy;
  }
  unique_hkey machine;
  if (r.reached()) {
    hr = policy->GetRegistryKey(GPO_SECTION_MACHINE, machine.put());
    if (FAILED(hr)) r.failed = restore_policy_step::machine_key;
  }
  if (!r.reached()) {
    r.error = hr;
    return r;
  }
  unique_hkey key;
  if (!open_settings(machine.get(), kSettingsKey, a, &key, &r)) return r;
  use_settings(key.get(), a, &r);
  // The policy writes its file from the registry part: both keys closed first.
  key.reset();
  machine.reset();
  if (a.what != change::none) {
    // "Add" registers the registry extension with the policy for a setting switched on; putting back
    // clears it.
    r.save_error = policy->Save(TRUE, a.what == change::switch_off ? TRUE : FALSE, &registry_extension, &this_tool);
  }
  return r;
}

restore_policy_result run(const access& a) {
  if (restore_policy_key_for_tests != nullptr) return on_test_key(a);
  if (older_than_vista()) {
    restore_policy_result r;
    r.failed = restore_policy_step::no_policy;
    return r;
  }
  // The multithreaded model: a single-threaded apartment would give the process a window of its
  // own, and the engine's /quiet opens none. Only a start of our own is ended.
  HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  restore_policy_result r = on_local_policy(a);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return r;
}

}  // namespace

restore_policy_result read_restore_policy(restore_setting* found) {
  return run({change::none, found, nullptr});
}

restore_policy_result switch_restore_policy_off(restore_setting* before) {
  return run({change::switch_off, before, nullptr});
}

restore_policy_result put_restore_policy_back(const restore_setting& original) {
  return run({change::put_back, nullptr, &original});
}

}  // namespace velmor
