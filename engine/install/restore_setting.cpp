// Reading and writing back the restore-point policy, as the installer program changes it.
#include "engine/install/restore_setting.h"

#include <cwchar>
#include <cwctype>

#include "engine/common/log.h"
#include "engine/recovery/journal.h"

namespace velmor {

void restore_setting_keeper::remember() {
  remembered_ = false;
  inherited_ = false;
  original_ = restore_setting{};
  // Recovery left a dead run's record only because it could not put it back: the first recorded
  // value is the machine's own, and a reading now would overwrite it with the switched-off one.
  for (const auto& record : journal::list(journal::kRestoreSetting)) {
    if (record.first == kOriginalRecord && parse_recorded_setting(record.second.c_str(), &original_)) {
      remembered_ = true;
      inherited_ = true;
      return;
    }
  }
  // Before Vista there is no such policy; unreached, there is nothing the installer could change.
  if (!read_restore_policy(&original_).reached()) return;
  remembered_ = true;
  wchar_t text[16] = L"absent";
  if (original_.present) std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%lu", original_.value);
  journal::add(journal::kRestoreSetting, kOriginalRecord, text, "install_driver_internal");
}

bool put_back_restore_setting(const restore_setting& original, const char* function, const char* failure) {
  restore_policy_result r = put_restore_policy_back(original);
  // Before Vista there is nothing to put back.
  if (r.settled() || r.failed == restore_policy_step::no_policy) return true;
  // In the order of restore_policy_step.
  static const char* const steps[] = {"", "", "CoCreateInstance", "OpenLocalMachineGPO", "GetRegistryKey",
                                      "RegCreateKeyEx", "RegSetValueEx / RegDeleteValue", "Save"};
  engine_log(LOG_WARNING, function, "%s (%s failed - error 0x%lx)", failure, steps[static_cast<int>(r.failed)],
             static_cast<unsigned long>(r.error));
  return false;
}

bool parse_recorded_setting(const wchar_t* text, restore_setting* setting) {
  if (std::wcscmp(text, L"absent") == 0) {
    *setting = restore_setting{};
    return true;
  }
  if (text[0] == L'\0' || std::wcslen(text) > 10) return false;
  for (const wchar_t* c = text; *c != L'\0'; ++c)
    if (!std::iswdigit(*c)) return false;
  *setting = restore_setting{true, static_cast<DWORD>(std::wcstoul(text, nullptr, 10))};
  return true;
}

bool restore_setting_keeper::put_back() {
  if (!remembered_) return true;
  remembered_ = false;
  inherited_ = false;
  if (!put_back_restore_setting(original_, "install_driver_internal",
                                "could not restore the system restore point creation setting")) {
    return false;
  }
  engine_log(LOG_INFO, "install_driver_internal", "restored the system restore point creation setting");
  return true;
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
