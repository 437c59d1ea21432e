// Reading and writing back the restore-point policy through the local group policy object, as the
// installer program changes it.
#include "engine/install/restore_setting.h"

#include <prsht.h>
#include <gpedit.h>
#include <objbase.h>

#include <cwchar>
#include <cwctype>

#include "engine/common/log.h"
#include "engine/common/windows_version.h"
#include "engine/recovery/journal.h"
#include "win/handles.h"
#include "win/registry.h"
#include "protocol/restore_policy.h"

extern "C" {
const char* restore_policy_key_for_tests = nullptr;
}

namespace {

const char kSettingsKey[] = VELMOR_RESTORE_SETTINGS_KEY;
const char kValue[] = VELMOR_RESTORE_VALUE;
using namespace velmor::restore_policy;

// Runs use(key) on the policy's settings key (created when `write`), and saves the policy after a
// write. False when the policy cannot be reached.
template <typename Use>
bool with_settings_key(bool write, Use use) {
  REGSAM access = write ? KEY_QUERY_VALUE | KEY_SET_VALUE : KEY_QUERY_VALUE;
  if (restore_policy_key_for_tests != nullptr) {
    velmor::unique_hkey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, restore_policy_key_for_tests, 0, nullptr, 0, access, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS) {
      return false;
    }
    use(key.get());
    return true;
  }
  // The caller's thread may have COM in either model already; only a start of our own is ended.
  // The multithreaded model: a single-threaded apartment would give the process a window of its
  // own, and /quiet opens none.
  HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  bool reached = false;
  {
    velmor::com_ptr<IGroupPolicyObject> policy;
    velmor::unique_hkey machine;
    velmor::unique_hkey key;
    if (SUCCEEDED(::CoCreateInstance(group_policy_class, nullptr, CLSCTX_INPROC_SERVER, group_policy_interface,
                                     policy.put_void())) &&
        SUCCEEDED(policy->OpenLocalMachineGPO(GPO_OPEN_LOAD_REGISTRY)) &&
        SUCCEEDED(policy->GetRegistryKey(GPO_SECTION_MACHINE, machine.put()))) {
      LONG opened = write ? ::RegCreateKeyExA(machine.get(), kSettingsKey, 0, nullptr, 0, access, nullptr, key.put(),
                                              nullptr)
                          : ::RegOpenKeyExA(machine.get(), kSettingsKey, 0, access, key.put());
      reached = true;
      if (opened == ERROR_SUCCESS) use(key.get());
      key.reset();
      machine.reset();
      if (write && FAILED(policy->Save(TRUE, FALSE, &registry_extension, &this_tool))) reached = false;
    }
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return reached;
}

bool policy_applies() {
  if (restore_policy_key_for_tests != nullptr) return true;
  if (windows_version_code == -1) detect_windows_version();
  return windows_version_code >= 0x60;
}

}  // namespace

namespace velmor {

void restore_setting_keeper::remember() {
  remembered_ = false;
  had_value_ = false;
  if (!policy_applies()) return;
  remembered_ = with_settings_key(false, [this](HKEY key) {
    had_value_ = velmor::read_registry_dword(key, kValue, &value_) == ERROR_SUCCESS;
  });
  if (!remembered_) return;
  wchar_t text[16] = L"absent";
  if (had_value_) std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%lu", static_cast<unsigned long>(value_));
  journal::add(journal::kRestoreSetting, kOriginalRecord, text, "install_driver_internal");
}

bool write_restore_setting(bool had_value, DWORD value) {
  return with_settings_key(true, [had_value, value](HKEY key) {
    if (had_value) {
      ::RegSetValueExA(key, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    } else {
      ::RegDeleteValueA(key, kValue);
    }
  });
}

bool parse_recorded_setting(const wchar_t* text, bool* had_value, DWORD* value) {
  if (std::wcscmp(text, L"absent") == 0) {
    *had_value = false;
    *value = 0;
    return true;
  }
  if (text[0] == L'\0' || std::wcslen(text) > 10) return false;
  for (const wchar_t* c = text; *c != L'\0'; ++c)
    if (!std::iswdigit(*c)) return false;
  *had_value = true;
  *value = static_cast<DWORD>(std::wcstoul(text, nullptr, 10));
  return true;
}

void restore_setting_keeper::put_back() {
  if (!remembered_) return;
  remembered_ = false;
  if (write_restore_setting(had_value_, value_)) {
    engine_log(LOG_INFO, "install_driver_internal", "restored the system restore point creation setting");
  } else {
    engine_log(LOG_WARNING, "install_driver_internal", "could not restore the system restore point creation setting");
  }
}

void restore_setting_keeper::note_installer(HANDLE process) {
  if (!remembered_ || process == nullptr) return;
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return;
  wchar_t text[64];
  std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%lu %llu", static_cast<unsigned long>(::GetProcessId(process)),
                (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
  journal::add(journal::kRestoreSetting, kInstallerRecord, text, "install_driver_internal");
}

void restore_setting_keeper::forget() {
  journal::remove(journal::kRestoreSetting, kInstallerRecord);
  journal::remove(journal::kRestoreSetting, kOriginalRecord);
}

}  // namespace velmor
