// Reading and writing back the restore-point policy, as the installer program changes it.
#include "engine/install/restore_setting.h"

#include <cwchar>
#include <cwctype>

#include "engine/common/log.h"
#include "engine/recovery/journal.h"

namespace velmor {
namespace {

// The step of a put-back that did not settle, and its error.
const char* failed_step(const restore_policy_result& r, unsigned long* error) {
  *error = static_cast<unsigned long>(r.error);
  switch (r.failed) {
    case restore_policy_step::create_object: return "CoCreateInstance";
    case restore_policy_step::open_policy: return "OpenLocalMachineGPO";
    case restore_policy_step::machine_key: return "GetRegistryKey";
    case restore_policy_step::settings_key: return "RegCreateKeyEx";
    case restore_policy_step::none:
    case restore_policy_step::no_policy: break;
  }
  if (r.write_error != ERROR_SUCCESS && r.write_error != ERROR_FILE_NOT_FOUND) {
    *error = static_cast<unsigned long>(r.write_error);
    return "RegSetValueEx / RegDeleteValue";
  }
  *error = static_cast<unsigned long>(r.save_error);
  return "Save";
}

}  // namespace

void restore_setting_keeper::remember() {
  remembered_ = false;
  original_ = restore_setting{};
  // Before Vista there is no such policy; unreached, there is nothing the installer could change.
  if (!read_restore_policy(&original_).reached()) return;
  remembered_ = true;
  wchar_t text[16] = L"absent";
  if (original_.present) {
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%lu", static_cast<unsigned long>(original_.value));
  }
  journal::add(journal::kRestoreSetting, kOriginalRecord, text, "install_driver_internal");
}

bool put_back_restore_setting(const restore_setting& original, const char* function, const char* failure) {
  restore_policy_result r = put_restore_policy_back(original);
  if (r.settled()) return true;
  unsigned long error = 0;
  const char* step = failed_step(r, &error);
  engine_log(LOG_WARNING, function, "%s (%s failed - error 0x%lx)", failure, step, error);
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

void restore_setting_keeper::put_back() {
  if (!remembered_) return;
  remembered_ = false;
  if (put_back_restore_setting(original_, "install_driver_internal",
                               "could not restore the system restore point creation setting")) {
    engine_log(LOG_INFO, "install_driver_internal", "restored the system restore point creation setting");
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
