// The restore-point setting of a run that died while its installer had it switched off: the record
// holds the value from before that run. Its installer ends by itself once its engine is gone (and
// puts the setting back then); one still running after a grace is ended here, so that it cannot
// switch the setting off again after it was put back.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "engine/common/log.h"
#include "engine/install/restore_setting.h"
#include "engine/recovery/journal.h"
#include "engine/recovery/recovery_internal.h"
#include "win/handles.h"

namespace velmor {
namespace recovery {
namespace {

constexpr DWORD kInstallerGraceMs = 10000;

// The recorded installer, if that very process (same ID and start) still runs.
void end_recorded_installer(const std::wstring& text) {
  wchar_t* rest = nullptr;
  DWORD pid = static_cast<DWORD>(std::wcstoul(text.c_str(), &rest, 10));
  unsigned long long started = std::wcstoull(rest, nullptr, 10);
  if (pid == 0) return;
  unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return;
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return;
  if (((static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime) != started) return;
  if (::WaitForSingleObject(process.get(), kInstallerGraceMs) == WAIT_OBJECT_0) return;
  ::TerminateProcess(process.get(), 1);
  ::WaitForSingleObject(process.get(), 5000);
  engine_log(LOG_INFO, "recover_dead_runs", "ended the installer (process %lu) of a run that did not finish",
             static_cast<unsigned long>(pid));
}

}  // namespace

void put_back_dead_runs_restore_setting() {
  std::wstring original;
  bool found = false;
  for (const auto& record : journal::list(journal::kRestoreSetting)) {
    if (record.first == kInstallerRecord) end_recorded_installer(record.second);
    if (record.first == kOriginalRecord) {
      original = record.second;
      found = true;
    }
  }
  restore_setting setting;
  if (found && parse_recorded_setting(original.c_str(), &setting)) {
    if (!put_back_restore_setting(setting, "recover_dead_runs",
                                  "could not put back the restore point creation setting of a run that did not finish")) {
      return;  // the record stays for the next run
    }
    engine_log(LOG_INFO, "recover_dead_runs", "put back the restore point creation setting of a run that did not finish");
  }
  journal::remove(journal::kRestoreSetting, kInstallerRecord);
  journal::remove(journal::kRestoreSetting, kOriginalRecord);
}

}  // namespace recovery
}  // namespace velmor
