// The unattended commands: /list, /install and /extract run the dialog's own routines without the
// dialog, report one line per probe or interface on the console and in the log file, and end with
// an exit code.
#include "app/CommandLineRun.h"

#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/CommandLine.h"
#include "app/ConsoleStop.h"
#include "app/ProbeRecord.h"
#include "app/Routines.h"
#include "app/Unattended.h"
#include "engine/engine.h"
#include "win/full_path.h"
#include "win/handles.h"
#include "win/lock.h"
#include "win/mutex_owner.h"
#include "win/utf8.h"

namespace {

const wchar_t kBoxCaption[] = L"Driver Installation";
// Another copy of the tool refreshing once a second holds the enumeration for a moment only: a
// few seconds of retries get a list between its refreshes.
constexpr int kListAttempts = 100;
constexpr DWORD kListPauseMs = 50;

std::wstring Wide(const std::string& utf8) { return velmor::utf16_string(utf8.c_str()); }
std::string Utf8(const std::wstring& wide) { return velmor::utf8_string(wide.c_str()); }

// The absolute form of a path, or the path as given when it cannot be resolved.
std::string FullPath(const std::string& path) {
  std::wstring full = velmor::full_path(Wide(path));
  return full.empty() ? path : Utf8(full);
}

// The tool runs elevated, and another user may own a folder on a path given to it: a link there
// would send its writes anywhere. The existing folders of `path` (a folder) from the root down are
// held open, each checked on its handle to be no link; held, none can be renamed or replaced.
// Folders below the last existing one are left to whoever creates them (the engine checks those
// it makes). False when one is a link or cannot be checked.
bool HoldFoldersFromRoot(const std::string& path, velmor::package_folders* held) {
  std::wstring folder = Wide(FullPath(path));
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  while (!folder.empty() && ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    size_t slash = folder.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return true;  // nothing of it exists: nothing to follow
    folder.resize(slash);
  }
  return folder.empty() || held->hold(folder, false, "RunCommandLine") == WDI_ST_OK;
}

// <Windows>\Logs\Software\<name>, its two folders made when missing (XP has no Logs folder);
// empty with the reason when the Windows folder cannot be had. The folders are checked against
// links when the file is opened.
std::string DefaultLogPath(std::string* why) {
  wchar_t windows[MAX_PATH] = {};
  UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    *why = "the Windows folder cannot be found";
    return std::string();
  }
  std::string folder = Utf8(windows);
  if (folder.back() != '\\') folder += '\\';
  folder += kDefaultLogFolder;
  std::string logs = folder.substr(0, folder.find_last_of('\\'));
  ::CreateDirectoryW(Wide(logs).c_str(), nullptr);
  ::CreateDirectoryW(Wide(folder).c_str(), nullptr);
  return folder + "\\" + kDefaultLogName;
}

// The operating system handle behind a C stream, or null when it leads nowhere.
HANDLE StreamHandle(FILE* stream) {
  int fd = _fileno(stream);
  if (fd < 0) return nullptr;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || reinterpret_cast<intptr_t>(handle) == -2) return nullptr;
  return ::GetFileType(handle) == FILE_TYPE_UNKNOWN ? nullptr : handle;
}

bool HasConsole() { return StreamHandle(stdout) != nullptr || StreamHandle(stderr) != nullptr; }

// One line to a stream: UTF-16 to a console window, UTF-8 bytes to a file or pipe.
void WriteStream(FILE* stream, const std::string& text) {
  std::fflush(stdout);
  std::fflush(stderr);
  HANDLE handle = StreamHandle(stream);
  if (handle == nullptr) return;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    std::wstring wide = Wide(text + "\n");
    DWORD written = 0;
    ::WriteConsoleW(handle, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fputs(text.c_str(), stream);
  std::fputs("\n", stream);
  std::fflush(stream);
}

// The log file of the run. The engine logs from two threads (the progress window's worker too):
// every write happens under the lock, one block of whole lines at a time.
class RunLog {
 public:
  RunLog() = default;
  ~RunLog() {
    engine_log_set_receiver(nullptr);
    active_ = nullptr;
  }
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Opens the file for appending and starts receiving the engine's lines; false with the reason.
  // The tool runs elevated: a link planted where the file belongs must not redirect the writes
  // into another file, so links (and files with more than one name) are refused.
  // The file's folder must exist and is held, every folder of it from the root down, while the
  // file is opened by the full path that was checked: a folder still missing at the check could
  // be made a link before the open, and none held can be renamed or replaced. With `rotate` the
  // file is first renamed to "<name>.1" (replacing the one there: a link there is replaced, never
  // followed); with a `limit`, lines beyond it are left out, all but the summary.
  bool Open(const std::string& path, std::string* why, unsigned limit = 0, bool rotate = false) {
    std::wstring full = velmor::full_path(Wide(path));
    size_t slash = full.find_last_of(L"\\/");
    if (full.empty() || slash == std::wstring::npos || slash + 1 == full.size()) {
      *why = windows_error_text(ERROR_INVALID_NAME);
      return false;
    }
    std::wstring folder = full.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // the root of a drive
    velmor::package_folders folders;  // held until the file is open
    int held = folders.hold(folder, false, "RunCommandLine");
    if (held == WDI_ST_MISSING) {
      *why = windows_error_text(ERROR_PATH_NOT_FOUND);
      return false;
    }
    if (held != WDI_ST_OK) {
      *why = "a folder of its path is a link (reparse point)";
      return false;
    }
    if (rotate) ::MoveFileExW(full.c_str(), (full + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    velmor::unique_file file(::CreateFileW(full.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
      *why = windows_error_text(0);
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &info)) {
      *why = "not a file on a disk";
      return false;
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks > 1) {
      *why = "a link or a file with more than one name";
      return false;
    }
    // A file that could not be moved aside counts with what it holds.
    size_ = info.nFileSizeHigh != 0 ? 0xFFFFFFFFu : info.nFileSizeLow;
    limit_ = limit;
    file_ = std::move(file);
    active_ = this;
    engine_log_set_receiver(&Receive);
    return true;
  }

  bool is_open() const { return static_cast<bool>(file_); }
  bool write_failed() const { return write_failed_; }

  // `always`: past the limit too (the summary).
  void Write(const std::string& text, bool always = false) {
    if (!file_) return;
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    const LogStamp stamp = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    std::string lines = LogFileLines(stamp, text);
    velmor::critical_section_lock hold(lock_);
    if (limit_ != 0 && !always) {
      if (full_) return;
      if (lines.size() > limit_ || size_ > limit_ - lines.size()) {
        full_ = true;
        lines = LogFileLines(stamp, kLogFullLine);
      }
    }
    DWORD written = 0;
    if (!::WriteFile(file_.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) ||
        written != lines.size()) {
      write_failed_ = true;
    }
    size_ += written;
  }

 private:
  static void Receive(int, const char* line) {
    RunLog* log = active_;
    if (log != nullptr) log->Write(line);
  }

  static RunLog* volatile active_;
  velmor::critical_section lock_;
  velmor::unique_file file_;
  bool write_failed_ = false;
  unsigned limit_ = 0;  // 0: unbounded
  unsigned size_ = 0;   // bytes in the file
  bool full_ = false;
};

RunLog* volatile RunLog::active_ = nullptr;

// What a command reports: lines on the console (standard output or error) and in the log file.
class Report {
 public:
  explicit Report(RunLog& log) : log_(log) {}
  void Line(const std::string& text) {
    WriteStream(stdout, text);
    log_.Write(text);
  }
  void Error(const std::string& text) {
    WriteStream(stderr, text);
    log_.Write(text);
  }
  // The closing summary goes into the log only: the console keeps the lines a script reads.
  int Close(const std::string& details, int exit_code) {
    log_.Write(SummaryLine(details, exit_code), true);
    if (log_.write_failed()) WriteStream(stderr, "Warning: some lines could not be written to the log file.");
    return exit_code;
  }

 private:
  RunLog& log_;
};

// The engine's device list, released at the end of the command.
struct DeviceList {
  wdi_device_entry* head = nullptr;
  DeviceList() = default;
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  ~DeviceList() {
    if (head != nullptr) DestroyList(head);
  }
};

// The list as a refresh of the dialog gets it; while another copy of the tool enumerates, tried
// again for a while. Nothing listed at all (-4) is an empty list.
int CreateList(DeviceList* list) {
  wdi_list_options options = {};
  options.include_installed = 1;
  options.include_hubs = 1;
  options.trim_description = 1;
  for (int attempt = 1;; ++attempt) {
    int status = wdi_create_list(&list->head, &options);
    if (status == WDI_ST_DEVICE_ABSENT) return WDI_ST_OK;
    if (status != WDI_ST_IN_USE || attempt >= kListAttempts) return status;
    ::Sleep(kListPauseMs);
  }
}

// The state of each interface of a probe, with the COM port a serial driver gave it. The port
// names live in `ports` (one per interface).
using PortNames = std::vector<std::unique_ptr<char[]>>;
constexpr size_t kPortBytes = 16;

InterfaceState StateOf(const ProbeRecord& probe, const CommandInterface& row, PortNames* ports) {
  const ProbeInterfaceSlot& slot = probe.*row.slot;
  if (!slot.present) return {false, false, nullptr, 0};
  InterfaceState state = {true, HasService(slot, row.service), slot.device.service_name, slot.device.installed_version};
  if (slot.device.instance_id != nullptr) {
    ports->emplace_back(new char[kPortBytes]());
    if (wdi_get_com_port(slot.device.instance_id, ports->back().get(), kPortBytes) == WDI_ST_OK) {
      state.port = ports->back().get();
    }
  }
  return state;
}

// Whether the probe's interface already has its driver (AlreadyInstalled); if so, says so.
bool AlreadyInPlace(const ProbeRecord& probe, const CommandInterface& row, PortNames* ports, Report* report) {
  InterfaceState state = StateOf(probe, row, ports);
  if (!state.present || !state.installed) return false;
  // Unsure whose driver it is (negative): taken as ours of an unknown version, so it is installed.
  const int own = wdi_device_has_own_driver((probe.*row.slot).device.instance_id);
  uint64_t package_version = 0;
  if (own == 1) wdi_package_version(row.driver_kind, &package_version);
  if (!AlreadyInstalled(state, own != 0, package_version)) return false;
  report->Line(AlreadyInstalledLine(row, state));
  return true;
}

// The states of each probe's interfaces that the request names, in the install order.
std::vector<JsonProbe> StatesOf(const std::vector<ProbeRecord>& probes, const PerInterface<bool>& requested,
                                PortNames* ports) {
  std::vector<JsonProbe> states;
  for (const ProbeRecord& probe : probes) {
    JsonProbe state{ProbeUidOf(probe), {}};
    for (const CommandInterface* row : kInstallOrder) {
      if (requested[*row]) state.interfaces.push_back({row, StateOf(probe, *row, ports)});
    }
    states.push_back(state);
  }
  return states;
}

// A list that could not be had: the reason on standard error, and for /json a line that says so.
int ListFailed(const CommandLineRequest& request, Report& report, int status) {
  report.Error(ListFailureLine(status));
  if (request.json) report.Line(ErrorJson(ListFailureLine(status)));
  return report.Close("no list", status == WDI_ST_IN_USE ? kExitBusy : kExitFailed);
}

int RunList(const CommandLineRequest& request, Report& report) {
  DeviceList list;
  int status = CreateList(&list);
  if (status != WDI_ST_OK) return ListFailed(request, report, status);
  std::vector<ProbeRecord> probes = GroupProbes(list.head);
  PortNames ports;
  std::vector<JsonProbe> states = StatesOf(probes, PerInterface<bool>::Filled(true), &ports);
  if (request.json) {
    report.Line(ListJson(states));
  } else {
    if (probes.empty()) report.Line(kNoProbeLine);
    for (const JsonProbe& probe : states) report.Line(ProbeLine(probe.uid, probe.interfaces));
  }
  return report.Close(std::to_string(probes.size()) + (probes.size() == 1 ? " probe" : " probes") + " listed",
                      kExitSuccess);
}

// The owner of the progress window when the command line has no dialog: a window of our own that
// is never shown, over the middle of the screen, so that the progress window appears there.
class HiddenOwner {
 public:
  HiddenOwner() {
    int x = ::GetSystemMetrics(SM_CXSCREEN) / 2;
    int y = ::GetSystemMetrics(SM_CYSCREEN) / 2;
    window_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, x, y, 1, 1, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
  }
  ~HiddenOwner() {
    if (window_ != nullptr) ::DestroyWindow(window_);
  }
  HiddenOwner(const HiddenOwner&) = delete;
  HiddenOwner& operator=(const HiddenOwner&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

int RunInstall(const CommandLineRequest& request, Report& report) {
  ConsoleStop stop;
  // Windows there rejects every self-signed catalog, whatever the tool would do.
  std::string refusal = PlatformRefusalLine(NativeMachine(), SModeActive());
  if (!refusal.empty()) {
    report.Error(refusal);
    return report.Close("nothing installed on this Windows", kExitFailed);
  }
  // A stop from the console ends the running installer as the run's time limit does.
  RunBound bound(kRunLimitMs, stop.event());
  DeviceList list;
  int status = CreateList(&list);
  if (status == WDI_ST_IN_USE) {
    // Not knowing whether a probe is attached, installing for the template would be a guess.
    report.Error(ListFailureLine(status));
    return report.Close("no list, nothing installed", kExitBusy);
  }
  std::vector<ProbeRecord> probes;
  if (status == WDI_ST_OK) {
    probes = GroupProbes(list.head);
  } else {
    report.Error(ListFailureLine(status));  // as the dialog does: no probe then
  }
  const ProbeRecord* probe = probes.empty() ? nullptr : &probes.front();
  report.Line(TargetLine(probes.size(), probe != nullptr ? ProbeUidOf(*probe) : std::string()));

  // Quiet: no owner, so the engine installs on this thread without a progress window.
  std::unique_ptr<HiddenOwner> owner;
  if (!request.quiet) owner.reset(new HiddenOwner);
  wdi_install_options options = {};
  options.owner_window = owner != nullptr ? owner->get() : nullptr;
  // Nobody can answer a prompt: not with /quiet, not without a desktop (the system account).
  options.unattended = request.quiet || !HasInteractiveDesktop() ? 1 : 0;

  wdi_device_entry template_device = {};
  std::vector<std::pair<const CommandInterface*, int>> results;
  std::vector<int> statuses;
  bool restart = false;
  bool cut_short = false;
  bool stopped = false;  // an interface was left out or cut short by a stop from the console
  std::vector<const CommandInterface*> refused;
  PortNames ports;
  // Asked just before the interface's turn, so that its line stands in the install order.
  auto chosen = [&](const CommandInterface& row) {
    if (!request.interfaces[row]) return false;
    if (stop.requested()) {
      stopped = true;
      return false;
    }
    if (request.force || probe == nullptr || !AlreadyInPlace(*probe, row, &ports, &report)) return true;
    results.emplace_back(&row, WDI_ST_OK);
    statuses.push_back(WDI_ST_OK);
    return false;
  };
  auto attempt = [&](const CommandInterface& row) {
    if (stop.requested()) {
      stopped = true;
      return static_cast<int>(WDI_ST_CANCELLED);
    }
    if (bound.expired()) {
      cut_short = true;
      return static_cast<int>(WDI_ST_TIMED_OUT);
    }
    options.pending_wait_ms = bound.remaining_ms() < kPendingWaitMs ? bound.remaining_ms() : kPendingWaitMs;
    // Nobody is there to end a hung attempt by hand: it is ended by its own bound.
    std::unique_ptr<RunBound> attempt_bound;
    if (options.unattended) attempt_bound.reset(new RunBound(std::min(AttemptLimitMs(), bound.remaining_ms())));
    int result = InstallPackage(row, probe, &template_device, &options, stop.event());
    if (result != WDI_ST_OK && stop.requested()) {
      stopped = true;  // its installer was ended by the stop
      result = WDI_ST_CANCELLED;
    } else if (bound.expired() && result != WDI_ST_OK) {
      cut_short = true;
      result = WDI_ST_TIMED_OUT;
    } else if (attempt_bound != nullptr && attempt_bound->expired() && result != WDI_ST_OK) {
      report.Error(AttemptLimitLine(row, AttemptLimitMs()));
      result = WDI_ST_TIMED_OUT;
    }
    if (result == WDI_ST_OK && wdi_install_needs_restart()) restart = true;
    if (result != WDI_ST_OK && wdi_install_refused_by_policy() &&
        std::find(refused.begin(), refused.end(), &row) == refused.end()) {
      refused.push_back(&row);
    }
    return result;
  };
  auto pause = [&bound, &stop](unsigned ms) {
    if (!bound.expired() && !stop.requested()) PauseAfterAttempt(ms < bound.remaining_ms() ? ms : bound.remaining_ms());
  };
  auto done = [&](const CommandInterface& row, int result) {
    results.emplace_back(&row, result);
    statuses.push_back(result);
    report.Line(InstallLine(row, result));
  };
  InstallInOrder(chosen, attempt, pause, done);
  if (cut_short) report.Error(TimeLimitLine(bound.limit_ms()));
  if (!refused.empty()) report.Line(PolicyRefusalLine(refused));
  if (stopped) {
    report.Error(kStoppedLine);
    return report.Close(ResultsDetails(results) + "; stopped", kExitStopped);
  }
  int exit_code = ExitCodeFor(statuses, restart);
  if (exit_code == kExitRestart) report.Line(kRestartLine);
  return report.Close(ResultsDetails(results), exit_code);
}

constexpr int kMaxPackages = 16;

int RunCheck(const CommandLineRequest& request, Report& report) {
  bool complete = true;
  bool failed = false;
  std::vector<JsonPackage> found_packages;
  for (const CommandInterface* row : kInstallOrder) {
    if (!request.interfaces[*row]) continue;
    wdi_store_package packages[kMaxPackages] = {};
    int found = wdi_find_store_packages(row->inf_name, packages, kMaxPackages);
    if (found < 0) {
      report.Error(std::string(row->label) + " package: the driver store cannot be read. " + wdi_status_text(found));
      found_packages.push_back({row, false, {}});
      failed = true;
      continue;
    }
    std::vector<std::string> names;
    for (int i = 0; i < found && i < kMaxPackages; ++i) names.push_back(packages[i].published_name);
    if (names.empty()) complete = false;
    if (!request.json) report.Line(CheckPackageLine(*row, names));
    found_packages.push_back({row, true, names});
  }
  DeviceList list;
  int status = CreateList(&list);
  if (status != WDI_ST_OK) return ListFailed(request, report, status);
  PortNames ports;
  std::vector<JsonProbe> states = StatesOf(GroupProbes(list.head), request.interfaces, &ports);
  for (const JsonProbe& probe : states) {
    if (!ProbeComplete(probe.interfaces)) complete = false;
    if (!request.json) report.Line(ProbeLine(probe.uid, probe.interfaces));
  }
  if (request.json) report.Line(CheckJson(complete && !failed, found_packages, states));
  if (failed) return report.Close("the driver store could not be read", kExitFailed);
  return report.Close(complete ? "everything requested is there" : "something requested is missing",
                      complete ? kExitSuccess : kExitMissing);
}

int RunUninstall(const CommandLineRequest& request, Report& report) {
  // A removal under way is finished, not cut: a stop ends the run between two packages.
  ConsoleStop stop;
  bool stopped = false;
  auto halted = [&] { return stopped = stopped || stop.requested(); };
  // No removal under a running installation of another copy. A name another account made first
  // holds no installation back: the removal of machine-trusted certificates must not wait on it.
  velmor::unique_handle busy(::CreateMutexA(nullptr, TRUE, WDI_INSTALL_MUTEX_NAME));
  DWORD taken = ::GetLastError();
  bool in_use = taken == ERROR_ALREADY_EXISTS || (!busy && taken == ERROR_ACCESS_DENIED);
  char squatter[512] = {};
  if (in_use && velmor::squatted_mutex_line(WDI_INSTALL_MUTEX_NAME, squatter, sizeof(squatter))) {
    report.Error(squatter);
  } else if (in_use || !busy) {
    report.Error("Another copy of this tool is installing drivers: nothing removed.");
    return report.Close("busy, nothing removed", in_use ? kExitBusy : kExitFailed);
  }
  std::vector<std::pair<const CommandInterface*, int>> results;
  std::vector<int> statuses;
  bool restart = false;
  bool every_interface = true;
  for (const CommandInterface* row : kInstallOrder) {
    if (!request.interfaces[*row]) {
      every_interface = false;
      continue;
    }
    if (halted()) break;
    wdi_store_package packages[kMaxPackages] = {};
    int found = wdi_find_store_packages(row->inf_name, packages, kMaxPackages);
    if (found < 0) {
      report.Line(std::string(row->label) + " package: the driver store cannot be read. " + wdi_status_text(found));
      results.emplace_back(row, found);
      statuses.push_back(found);
      continue;
    }
    if (found == 0) report.Line(UninstallLine(*row, std::string(), WDI_ST_OK));
    int row_status = WDI_ST_OK;
    for (int round = 1; found > 0; ++round) {
      for (int i = 0; i < found && i < kMaxPackages; ++i) {
        if (halted()) {
          row_status = WDI_ST_CANCELLED;  // packages of it are left
          break;
        }
        int needs_restart = 0;
        int removed = wdi_remove_store_package(&packages[i], &needs_restart);
        if (removed == WDI_ST_OK && needs_restart) restart = true;
        if (removed != WDI_ST_OK) row_status = removed;
        report.Line(UninstallLine(*row, packages[i].published_name, removed));
      }
      // More copies than one batch holds: the next batch, a bounded number of times.
      if (found <= kMaxPackages || row_status != WDI_ST_OK || round >= 8 || stopped) break;
      found = wdi_find_store_packages(row->inf_name, packages, kMaxPackages);
      if (found < 0) row_status = found;
    }
    // The source Windows before Vista installs from again goes with the package (a warning only
    // when it cannot: the package itself is gone).
    if (row_status == WDI_ST_OK) wdi_forget_package_source(row->inf_name);
    results.emplace_back(row, row_status);
    statuses.push_back(row_status);
  }
  // The certificates sign every package alike: they go only when every package goes.
  if (every_interface && !halted()) {
    int root = wdi_remove_own_certificates("Root");
    int publisher = wdi_remove_own_certificates("TrustedPublisher");
    report.Line(CertificatesLine(root, publisher));
    if (root < 0) statuses.push_back(root);
    if (publisher < 0) statuses.push_back(publisher);
  }
  if (stopped) {
    report.Error(kStoppedLine);
    return report.Close(ResultsDetails(results) + "; stopped", kExitStopped);
  }
  int exit_code = ExitCodeFor(statuses, restart);
  if (exit_code == kExitRestart) report.Line("A restart is needed to finish the removal; Windows was not restarted.");
  return report.Close(ResultsDetails(results), exit_code);
}

int RunExtract(const CommandLineRequest& request, Report& report) {
  ConsoleStop stop;
  // Without a folder: the bare names, as the dialog's button uses them.
  std::string base;
  velmor::package_folders held;  // the given folder's existing folders, for the whole extraction
  bool linked = false;
  if (!request.directory.empty()) {
    base = FullPath(request.directory);
    if (base.back() != '\\' && base.back() != '/') base += "\\";
    linked = !HoldFoldersFromRoot(base, &held);
  }
  wdi_device_entry template_device = {};
  std::vector<std::pair<const CommandInterface*, int>> results;
  std::vector<int> statuses;
  for (const CommandInterface& row : kInterfaces) {
    if (stop.requested()) {
      report.Error(kStoppedLine);
      return report.Close(ResultsDetails(results) + "; stopped", kExitStopped);
    }
    std::string folder = base + row.folder;
    int status = linked ? WDI_ST_DENIED : ExtractPackage(row, folder.c_str(), &template_device);
    results.emplace_back(&row, status);
    statuses.push_back(status);
    report.Line(ExtractLine(row, status, FullPath(folder)));
  }
  return report.Close(ResultsDetails(results), ExitCodeFor(statuses));
}

// The usage on the console, or in a message box when there is no console (never with /quiet: a
// box nobody can see would hold an unattended run for ever).
void ShowUsage(const std::string& lead, bool error, bool quiet) {
  std::string text = lead.empty() ? std::string(kUsageText) : lead + "\n\n" + kUsageText;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (HasConsole()) {
    WriteStream(error ? stderr : stdout, text);
  } else if (!quiet) {
    ::MessageBoxW(nullptr, Wide(text).c_str(), kBoxCaption, MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
  }
}

}  // namespace

bool RunCommandLine(int* exit_code) {
  std::string command_line = Utf8(::GetCommandLineW());
  std::vector<std::string> arguments = SplitCommandLine(command_line);
  if (!arguments.empty()) arguments.erase(arguments.begin());  // the program
  if (arguments.empty()) return false;

  CommandLineRequest request = ParseCommandLine(arguments);
  if (!request.error.empty()) {
    ShowUsage("Error: " + request.error + ".", true, request.quiet);
    *exit_code = kExitUsage;
    return true;
  }
  if (request.action == CommandAction::kHelp) {
    ShowUsage(std::string(), false, request.quiet);
    *exit_code = kExitSuccess;
    return true;
  }

  RunLog log;
  if (!request.log_file.empty()) {
    std::string why;
    if (!log.Open(request.log_file, &why)) {
      WriteStream(stderr, "Error: the log file \"" + request.log_file + "\" cannot be opened: " + why);
      *exit_code = kExitUsage;
      return true;
    }
  } else if (UsesDefaultLog(request, HasInteractiveDesktop)) {
    // Nobody asked for this one: a run goes on without it.
    std::string why, path = DefaultLogPath(&why);
    if (path.empty() || !log.Open(path, &why, kDefaultLogBytes, true)) {
      WriteStream(stderr, "Warning: no log file in " + path + ": " + why);
    }
  }
  // The console gets the engine's warnings and errors, as in the dialog; the log file everything.
  engine_log_level = LOG_WARNING;
  Report report(log);
  log.Write("Started: " + command_line);
  switch (request.action) {
    case CommandAction::kList: *exit_code = RunList(request, report); break;
    case CommandAction::kInstall: *exit_code = RunInstall(request, report); break;
    case CommandAction::kCheck: *exit_code = RunCheck(request, report); break;
    case CommandAction::kUninstall: *exit_code = RunUninstall(request, report); break;
    default: *exit_code = RunExtract(request, report); break;
  }
  return true;
}
