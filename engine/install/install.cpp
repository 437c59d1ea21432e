// Installing one driver package: the engine starts the installer program from the package folder
// as a child process and serves its requests over the installer pipe until it reports a status
// (pipe_messages.cpp says what each message does). A run whose thread the progress window gave up
// on is released from outside (release_abandoned_installation).
#include "engine/install/install.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <optional>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/squatted_mutex.h"
#include "engine/common/status.h"
#include "engine/common/system.h"
#include "engine/common/utf8.h"
#include "engine/common/windows_version.h"
#include "engine/enumeration/config_manager.h"
#include "engine/install/installer_launch.h"
#include "engine/install/installer_pipe.h"
#include "engine/install/native_removal.h"
#include "engine/install/pipe_messages.h"
#include "protocol/pipe_protocol.h"
#include "engine/install/progress_window.h"
#include "engine/install/restore_setting.h"
#include "engine/package/kept_source.h"
#include "engine/package/prepared_package.h"
#include "engine/recovery/recovery.h"
#include "win/bounded_path.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/lock.h"
#include "win/system_module.h"
#include "win/utf8.h"

HANDLE installer_pipe = INVALID_HANDLE_VALUE;

namespace {

constexpr DWORD kInitialReadBuffer = 512;
constexpr DWORD kListeningPollMs = 100;
// A client that never connects and leaves no process handle to watch is given this long.
constexpr DWORD kListeningLimitMs = PIPE_READ_TIMEOUT_FINITE;
// Consecutive failed reads (other than the expected ones) before the run gives up.
constexpr int kMaxReadFailures = 50;
constexpr DWORD kReadFailurePauseMs = 100;
// How long an installer that has sent its status is given to end before its package is removed
// (off the caller's path).
constexpr DWORD kPackageReleaseWaitMs = 5000;
// How long an installer that has sent its final status is given to close its end of the pipe.
constexpr DWORD kPipeCloseWaitMs = 1000;

// What one run holds. Process-wide rather than on the run's stack, so that a run whose thread was
// terminated by the progress window can still be released (release_abandoned_installation).
struct install_run {
  const void* request = nullptr;
  velmor::unique_handle mutex;
  velmor::unique_handle read_event;
  velmor::unique_handle process;
  velmor::unique_handle thread;
  velmor::unique_file client_end;
  velmor::unique_malloc<char> buffer;
  OVERLAPPED read = {};
  bool read_pending = false;
  bool reached_pipe = false;  // exits before the pipe step release only the mutex
  // An installation, whose installer switches the restore-point setting off; a removal does not.
  bool installs = false;
  DWORD expected_client = 0;  // the process that alone may talk to the engine over the pipe
  char pipe_name[INSTALLER_PIPE_NAME_SIZE] = {};  // drawn for the run
  char pipe_argument[64] = {};                    // the installer's argument that names it
  // The engine ended the installer, which could then not put the restore-point setting back.
  std::atomic<bool> ended_by_engine{false};
  velmor::restore_setting_keeper restore_setting;
};
install_run current_run;

// The installer process of the running installation, for the progress window's thread, which ends
// it at the time-out. A handle of its own: the worker may close the run's handle at any moment.
class installer_stopper {
 public:
  void arm(const void* request, HANDLE process) {
    HANDLE own = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &own, PROCESS_TERMINATE, FALSE, 0)) {
      own = nullptr;
    }
    velmor::critical_section_lock hold(lock_);
    request_ = request;
    process_.reset(own);
  }
  void disarm() {
    velmor::unique_handle gone;  // closed after the lock is left
    velmor::critical_section_lock hold(lock_);
    request_ = nullptr;
    gone = std::move(process_);
  }
  void stop(const void* request) {
    velmor::critical_section_lock hold(lock_);
    if (request != nullptr && request == request_ && process_ && ::TerminateProcess(process_.get(), 1)) {
      current_run.ended_by_engine = true;
    }
  }
  void stop_any() {
    velmor::critical_section_lock hold(lock_);
    if (process_ && ::TerminateProcess(process_.get(), 1)) current_run.ended_by_engine = true;
  }

 private:
  velmor::critical_section lock_;
  const void* request_ = nullptr;
  velmor::unique_handle process_;
};
installer_stopper stopper;


// Ends a pending read. The read may belong to a thread that was terminated, which CancelIo (this
// thread's I/O only) cannot reach: CancelIoEx where the system has it, and a bounded wait.
void cancel_read(install_run& run) {
  if (auto cancel_io_ex = velmor::imports::CancelIoEx()) {
    cancel_io_ex(installer_pipe, &run.read);
  } else {
    ::CancelIo(installer_pipe);
  }
  if (run.read.hEvent != nullptr) ::WaitForSingleObject(run.read.hEvent, 5000);
  run.read_pending = false;
}

// Ends a run: closes the prompt, pipe, process and mutex it holds. Also used for a run whose thread
// is gone; idempotent.
void release_run(install_run& run) {
  stopper.disarm();
  const bool reached_pipe = run.reached_pipe;
  // An unattended installation asks the device installer for no prompt at all; looking for one
  // would only load the window modules into a command that has no window.
  if (run.reached_pipe && !active_unattended) {
    // A system prompt the installer left open would outlive it.
    HWND prompt = security_prompt_present();
    if (prompt != nullptr) ::DestroyWindow(prompt);
  }
  run.reached_pipe = false;
  run.expected_client = 0;
  active_device = nullptr;
  if (run.read_pending && installer_pipe != INVALID_HANDLE_VALUE) cancel_read(run);
  run.thread.reset();
  run.process.reset();
  // An installer the engine ended could not put the setting back; one that ran to its end put back
  // only what it found, which is a dead run's switched-off value when this run took that run's over.
  bool settled = true;
  if (run.ended_by_engine.exchange(false) || run.restore_setting.owes_put_back()) {
    settled = run.restore_setting.put_back();
  }
  // Nothing left to recover once the setting is back; a failed put-back keeps the record for the
  // next run. (A removal's installer never touched it: a record there is a dead run's.)
  if (reached_pipe && run.installs && settled) run.restore_setting.forget();
  run.installs = false;
  // The pipe goes before the buffer: no read can complete into freed memory.
  if (installer_pipe != INVALID_HANDLE_VALUE) ::CloseHandle(installer_pipe);
  installer_pipe = INVALID_HANDLE_VALUE;
  run.read_event.reset();
  run.buffer.reset();
  run.client_end.reset();
  run.request = nullptr;
  run.mutex.reset();
}

// Package folder: the given one, else %TEMP%. False when neither exists.
bool choose_folder(const char* path, char (&folder)[MAX_PATH]) {
  if (path != nullptr && path[0] != '\0') {
    velmor::path_copy(folder, path);
    return true;
  }
  // A TEMP longer than a path keeps its first 259 bytes, as a given path does.
  velmor::unique_malloc<char> temp(velmor::temp_folder_utf8());
  velmor::path_copy(folder, temp.get());
  if (folder[0] == '\0') return false;
  engine_log(LOG_INFO, "install_driver_internal", "no path provided - installing from '%s'", folder);
  return true;
}

// The installer must match Windows, not this process: a 32-bit installer cannot install drivers on
// 64-bit Windows, whether the engine runs as a 64-bit process or as a 32-bit one under WoW64.
bool windows_is_64bit() { return sizeof(void*) == 8 || velmor::running_under_wow64(); }

struct launch_plan {
  char folder[MAX_PATH] = {};
  char command[MAX_PATH] = {};
  char arguments[MAX_PATH] = {};
  bool windows64 = false;
  bool filter = false;
};

// The package installer of the machine's bitness in the plan's folder.
void plan_package_installer(launch_plan& plan) {
  std::snprintf(plan.command, sizeof(plan.command), "\"%s\\installer_x%s.exe\"", plan.folder,
                plan.windows64 ? "64" : "86");
}

void plan_command(launch_plan& plan, const wdi_device_entry* device, const char* inf_name) {
  if (!plan.filter) {
    plan_package_installer(plan);
    std::snprintf(plan.arguments, sizeof(plan.arguments), active_unattended ? "\"%s\" " INSTALLER_UNATTENDED_SWITCH : "\"%s\"",
                  inf_name);
    return;
  }
  std::snprintf(plan.command, sizeof(plan.command), "\"%s\\%s\\\\install-filter.exe\"", plan.folder,
                plan.windows64 ? "amd64" : "x86");
  const char* filter = device->first_upper_filter != nullptr ? device->first_upper_filter : "<NULL>";
  velmor::path_copy(plan.arguments, _stricmp(filter, "libusb0") == 0 ? "uninstall -d=" : "install -d=");
  velmor::path_append(plan.arguments, device->first_hardware_id);
}

// The filter installer's standard output and error: a client end of our own pipe.
int open_client_end(install_run& run) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  run.client_end.reset(::CreateFileA(run.pipe_name, GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!run.client_end) {
    engine_log(LOG_ERROR, "install_driver_internal", "could not create stdout endpoint: %s",
               windows_error_text(0));
    return WDI_ST_NO_RESOURCE;
  }
  return WDI_ST_OK;
}

// The installer by its absolute path (the command text without its quotes and arguments). The
// filter installer writes its console output into our own pipe.
int launch_installer(install_run& run, launch_plan& plan) {
  char application[MAX_PATH] = {};
  const char* quoted = plan.command;
  size_t length = std::strlen(quoted);
  if (length >= 2 && quoted[0] == '"' && quoted[length - 1] == '"') {
    std::snprintf(application, sizeof(application), "%.*s", static_cast<int>(length - 2), quoted + 1);
  } else {
    velmor::path_copy(application, quoted);
  }
  velmor::path_append(plan.command, " ");
  velmor::path_append(plan.command, plan.arguments);
  HANDLE output = plan.filter ? run.client_end.get() : nullptr;
  int status = start_installer_process(application, plan.command, plan.folder, output, &run.process, &run.thread);
  if (status != WDI_ST_OK) return status;
  // In filter mode the client is the engine's own end, which the filter installer writes into.
  run.expected_client = plan.filter ? ::GetCurrentProcessId() : ::GetProcessId(run.process.get());
  return WDI_ST_OK;
}

// An installer that ended: its own status message decides, never its exit code alone. A killed or
// crashed installer may end with any code, 0 too, and then installed nothing for sure. The filter
// installer sends no messages: there, only its exit code speaks.
int ended_installer_status(HANDLE process) {
  if (active_filter_mode || installer_status_received) return process_exit_status(process);
  engine_log(LOG_ERROR, "install_driver_internal", "installer ended without sending its status");
  return WDI_ST_OTHER;
}

// The installer closed its end of the pipe: it has sent its status or never will.
int wait_for_installer_exit(install_run& run) {
  if (::WaitForSingleObject(run.process.get(), pipe_read_timeout) == WAIT_TIMEOUT) {
    // Terminating is asynchronous: the exit code read now could still say "running" or the 0 we
    // passed, so the status is fixed here instead of read back.
    ::TerminateProcess(run.process.get(), 0);
    run.ended_by_engine = true;
    engine_log(LOG_ERROR, "install_driver_internal", "installer did not exit after closing the pipe - terminated");
    return WDI_ST_TIMED_OUT;
  }
  return ended_installer_status(run.process.get());
}

// Reads messages until the run ends; returns its status.
class pipe_reader {
 public:
  explicit pipe_reader(install_run& run) : run_(run) {}

  int serve() {
    run_.buffer.reset(static_cast<char*>(std::malloc(size_ + 1)));
    if (!run_.buffer) {
      engine_log(LOG_ERROR, "install_driver_internal", "unable to alloc buffer: aborting");
      return WDI_ST_NO_RESOURCE;
    }
    for (;;) {
      step result = read_once();
      if (result) return *result;
    }
  }

 private:
  // Empty: keep reading; otherwise the run's status. Apart from the status values, so that an
  // installer's status of any value (1 too) ends the run.
  using step = std::optional<int>;
  static constexpr std::nullopt_t kGoOn = std::nullopt;

  step read_once() {
    HANDLE event = run_.read_event.get();
    std::memset(&run_.read, 0, sizeof(run_.read));
    run_.read.hEvent = event;
    DWORD got = 0;
    BOOL done = ::ReadFile(installer_pipe, run_.buffer.get() + offset_, size_ - offset_, &got, &run_.read);
    DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    if (error == ERROR_IO_PENDING) run_.read_pending = true;
    // A read that does not find the pipe listening has a client: before anything it sent counts.
    if (!client_checked_ && (done || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA)) {
      if (!installer_pipe_client_is(installer_pipe, run_.expected_client)) return WDI_ST_DENIED;
      client_checked_ = true;
    }
    if (done) return deliver(got);
    switch (error) {
      case ERROR_BROKEN_PIPE:
        return wait_for_installer_exit(run_);
      case ERROR_MORE_DATA:
        return grow("sync");
      case ERROR_PIPE_LISTENING:
        return not_connected_yet();
      case ERROR_IO_PENDING:
        return wait_for_read();
      default:
        engine_log(LOG_ERROR, "install_driver_internal", "could not read from pipe (sync): %s",
                   windows_error_text(error));
        return failed_read();
    }
  }

  step deliver(DWORD got) {
    failures_ = 0;
    DWORD length = offset_ + got;
    offset_ = 0;
    int status = process_message(run_.buffer.get(), length);
    // The installer's last word: its status is the run's now, not after the installer's exit.
    if (installer_status_final) return after_final_status(status);
    if (status != 0) return status;
    return kGoOn;
  }

  // After its final status the installer only closes its end of the pipe and exits. The run ends
  // once the pipe is closed, which follows at once, so that the next run finds the one instance of
  // the pipe free; the process's own end is not waited for.
  int after_final_status(int status) {
    const DWORD start = ::GetTickCount();
    for (;;) {
      DWORD elapsed = ::GetTickCount() - start;
      if (elapsed >= kPipeCloseWaitMs) return status;
      std::memset(&run_.read, 0, sizeof(run_.read));
      run_.read.hEvent = run_.read_event.get();
      DWORD got = 0;
      // Anything it still sends has no bearing on the result.
      if (::ReadFile(installer_pipe, run_.buffer.get(), size_, &got, &run_.read)) continue;
      DWORD error = ::GetLastError();
      if (error == ERROR_MORE_DATA) continue;
      if (error != ERROR_IO_PENDING) return status;  // closed
      run_.read_pending = true;
      HANDLE waits[2] = {run_.read_event.get(), run_.process.get()};
      DWORD woke = ::WaitForMultipleObjects(run_.process ? 2 : 1, waits, FALSE, kPipeCloseWaitMs - elapsed);
      if (woke != WAIT_OBJECT_0) {
        cancel_read(run_);
        return status;
      }
      BOOL done = ::GetOverlappedResult(installer_pipe, &run_.read, &got, FALSE);
      error = ::GetLastError();
      run_.read_pending = false;
      if (!done && error != ERROR_MORE_DATA) return status;
    }
  }

  // The message did not fit: keep what was read and fetch the rest into a doubled buffer.
  step grow(const char* how) {
    failures_ = 0;
    DWORD filled = size_;
    size_ *= 2;
    engine_log(LOG_DEBUG, "install_driver_internal", "message overflow (%s) - increasing buffer size to %d bytes",
               how, static_cast<int>(size_));
    char* grown = static_cast<char*>(std::realloc(run_.buffer.get(), size_ + 1));
    if (grown == nullptr) {
      engine_log(LOG_ERROR, "install_driver_internal", "unable to realloc buffer: aborting");
      return WDI_ST_NO_RESOURCE;
    }
    static_cast<void>(run_.buffer.release());  // realloc has taken the old block over
    run_.buffer.reset(grown);
    offset_ = filled;
    return kGoOn;
  }

  // No client yet. An installer that ended without connecting ends the run with its exit status;
  // one more read after its end catches a client that connected just before it.
  step not_connected_yet() {
    if (installer_gone_) {
      engine_log(LOG_ERROR, "install_driver_internal", "installer exited without connecting");
      return ended_installer_status(run_.process.get());
    }
    if (!run_.process) {
      listening_ms_ += kListeningPollMs;
      if (listening_ms_ > kListeningLimitMs) {
        engine_log(LOG_ERROR, "install_driver_internal", "installer failed to connect - aborting");
        return WDI_ST_TIMED_OUT;
      }
      ::Sleep(kListeningPollMs);
      return kGoOn;
    }
    if (wait_for_connection()) return kGoOn;
    if (::WaitForSingleObject(run_.process.get(), kListeningPollMs) == WAIT_OBJECT_0) installer_gone_ = true;
    return kGoOn;
  }

  // Waits for the client's connection or the installer's end, whichever comes first, on the run's
  // read record (so that an abandoned run cancels it like a read). Woken by the connection itself,
  // not by a poll: a poll let every run wait up to kListeningPollMs after the installer connected.
  // False when the pipe cannot wait this way; the caller then polls.
  bool wait_for_connection() {
    std::memset(&run_.read, 0, sizeof(run_.read));
    run_.read.hEvent = run_.read_event.get();
    ::ResetEvent(run_.read.hEvent);
    if (::ConnectNamedPipe(installer_pipe, &run_.read)) return true;
    DWORD error = ::GetLastError();
    // Connected, or connected and gone again, since the read: what it sent is still there to read.
    if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) return true;
    if (error != ERROR_IO_PENDING) return false;
    run_.read_pending = true;
    HANDLE waits[2] = {run_.read_event.get(), run_.process.get()};
    DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) {
      DWORD ignored = 0;
      ::GetOverlappedResult(installer_pipe, &run_.read, &ignored, FALSE);
      run_.read_pending = false;
      return true;
    }
    cancel_read(run_);
    if (woke != WAIT_OBJECT_0 + 1) return false;
    // A connection that came with the end is found by the next read; else the run ends there.
    installer_gone_ = true;
    return true;
  }

  step wait_for_read() {
    HANDLE waits[2] = {run_.read_event.get(), run_.process.get()};
    DWORD count = run_.process ? 2 : 1;
    DWORD woke = ::WaitForMultipleObjects(count, waits, FALSE, pipe_read_timeout);
    if (woke == WAIT_OBJECT_0) {
      DWORD got = 0;
      BOOL done = ::GetOverlappedResult(installer_pipe, &run_.read, &got, FALSE);
      DWORD error = ::GetLastError();
      run_.read_pending = false;
      if (done) return deliver(got);
      if (error == ERROR_BROKEN_PIPE) return wait_for_installer_exit(run_);
      if (error == ERROR_MORE_DATA) return grow("async");
      engine_log(LOG_ERROR, "install_driver_internal", "could not read from pipe (async): %s",
                 windows_error_text(error));
      return failed_read();
    }
    if (woke == WAIT_OBJECT_0 + 1) return ended_installer_status(run_.process.get());
    if (woke == WAIT_TIMEOUT) {
      engine_log(LOG_ERROR, "install_driver_internal", "installer failed to respond - aborting");
      ::TerminateProcess(run_.process.get(), 0);
      run_.ended_by_engine = true;
      return WDI_ST_TIMED_OUT;
    }
    engine_log(LOG_ERROR, "install_driver_internal", "could not read from pipe (wait): %s", windows_error_text(0));
    // The read may still be pending: it must end before the next one reuses the record.
    cancel_read(run_);
    return failed_read();
  }

  // Reads keep failing for reasons other than the expected ones: retry a bounded number of times.
  step failed_read() {
    if (++failures_ >= kMaxReadFailures) {
      engine_log(LOG_ERROR, "install_driver_internal", "too many failed reads from pipe - aborting");
      return WDI_ST_IO_FAILURE;
    }
    ::Sleep(kReadFailurePauseMs);
    return kGoOn;
  }

  install_run& run_;
  DWORD size_ = kInitialReadBuffer;
  DWORD offset_ = 0;
  int failures_ = 0;
  DWORD listening_ms_ = 0;
  bool installer_gone_ = false;
  bool client_checked_ = false;
};

// From creating the pipe to the installer's exit, with the mutex held; the caller releases the run.
// `request` identifies the run for stop_installation.
int serve_installer(install_run& run, const void* request, launch_plan& plan) {
  run.reached_pipe = true;
  if (!draw_installer_pipe_name(run.pipe_name, run.pipe_argument, sizeof(run.pipe_argument))) return WDI_ST_NO_RESOURCE;
  installer_pipe = create_installer_pipe(run.pipe_name);
  if (installer_pipe == INVALID_HANDLE_VALUE) return WDI_ST_NO_RESOURCE;
  run.read_event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!run.read_event) return WDI_ST_NO_RESOURCE;

  // The package installer learns the run's pipe from its command line; the filter installer
  // writes into the engine's own end and needs no name.
  if (!plan.filter) {
    const size_t used = std::strlen(plan.arguments);
    const int added = std::snprintf(plan.arguments + used, sizeof(plan.arguments) - used, " %s", run.pipe_argument);
    if (added < 0 || static_cast<size_t>(added) >= sizeof(plan.arguments) - used) return WDI_ST_OVERRUN;
  }
  if (plan.filter) {
    int status = open_client_end(run);
    if (status != WDI_ST_OK) return status;
  }
  if (file_attributes_utf8(plan.command) == INVALID_FILE_ATTRIBUTES) {
    const char* bits = plan.windows64 ? "64" : "32";
    engine_log(LOG_ERROR, "install_driver_internal", "this application does not contain the required %s bit installer",
               bits);
    engine_log(LOG_ERROR, "install_driver_internal", "please contact the application provider for a %s bit compatible version",
               bits);
    return WDI_ST_MISSING;
  }
  if (run.installs) run.restore_setting.remember();
  int status = launch_installer(run, plan);
  if (status != WDI_ST_OK) return status;
  if (run.process) {
    if (run.installs) run.restore_setting.note_installer(run.process.get());
    stopper.arm(request, run.process.get());
  }
  return pipe_reader(run).serve();
}

// Clears what the message handler reports from the run before.
void reset_run_flags() {
  install_restart_needed = 0;
  install_refused_by_policy = 0;
  installer_completed = 0;
  installer_status_final = 0;
  installer_status_received = 0;
}

}  // namespace

extern "C" int install_driver_internal(void* request_pointer) {
  const install_request& request = *static_cast<const install_request*>(request_pointer);

  velmor::unique_handle mutex(::CreateMutexA(nullptr, TRUE, WDI_INSTALL_MUTEX_NAME));
  DWORD taken = ::GetLastError();
  if (taken == ERROR_ALREADY_EXISTS || (!mutex && taken == ERROR_ACCESS_DENIED)) {
    log_squatted_mutex("install_driver_internal", WDI_INSTALL_MUTEX_NAME);
    return WDI_ST_IN_USE;
  }
  if (!mutex) return WDI_ST_NO_RESOURCE;
  if (!init_dlls()) return WDI_ST_NO_RESOURCE;

  // From here the run owns the process-wide state.
  install_run& run = current_run;
  run.mutex = std::move(mutex);
  run.request = request_pointer;
  velmor::scope_exit release([&run] { release_run(run); });
  // The prepared package goes with the run (before its process handle is closed), once the
  // installer, which runs from it, has ended: on a thread of its own, since the status is known.
  char prepared[MAX_PATH] = "";
  velmor::scope_exit drop_package([&prepared, &run] {
    if (prepared[0] == '\0') return;
    velmor::prepare::release_prepared_folder(prepared, run.process.get(), kPackageReleaseWaitMs);
  });

  active_device = request.device;
  active_filter_mode = 0;
  if (request.options != nullptr) active_filter_mode = request.options->filter_mode;
  active_unattended = request.options != nullptr ? request.options->unattended : 0;
  reset_run_flags();
  run.installs = true;

  launch_plan plan;
  plan.filter = active_filter_mode != 0;
  if (!choose_folder(request.path, plan.folder)) {
    wdi_err("no path provided and TEMP is not set");
    return WDI_ST_BAD_PARAMETER;
  }
  if (request.device == nullptr || request.inf_name == nullptr) {
    wdi_err("one of the required parameter is NULL");
    return WDI_ST_BAD_PARAMETER;
  }
  // Only a package this process prepared for that folder is installed, from its protected copy;
  // the user's folder is the user's to change, and the installer runs elevated: nothing is
  // started from it.
  char user_folder[MAX_PATH];
  velmor::path_copy(user_folder, plan.folder);
  if (!velmor::prepare::prepared_folder(user_folder, request.inf_name, plan.folder)) {
    wdi_err("'%s' in '%s' was not prepared by this program - nothing is started", request.inf_name, user_folder);
    return WDI_ST_BAD_PARAMETER;
  }
  velmor::path_copy(prepared, plan.folder);
  wdi_dbg("installing the package prepared in '%s'", plan.folder);
  // What a killed run left (its installer, the setting it switched off, its folder) goes before
  // this run reads the setting as the machine's own.
  recover_before_installation();
  auto wait_for_pending = velmor::imports::CMP_WaitNoPendingInstallEvents();
  if (request.options != nullptr && wait_for_pending != nullptr) {
    if (wait_for_pending(request.options->pending_wait_ms) == WAIT_TIMEOUT) {
      wdi_warn("timeout expired while waiting for another pending installation - aborting");
      return WDI_ST_INSTALL_PENDING;
    }
  } else {
    wdi_dbg("CMP_WaitNoPendingInstallEvents not available");
  }
  // Before Vista, Windows installs the probe on another port from the folder it was installed
  // from: the package is installed from a copy that stays (the prepared folder still goes).
  if (windows_version_code == -1) detect_windows_version();
  if (windows_version_code >= 0 && windows_version_code < 0x60 && !plan.filter) {
    velmor::kept_source::keep(prepared, request.inf_name, plan.folder);
  }
  plan.windows64 = windows_is_64bit();
  plan_command(plan, request.device, request.inf_name);
  return serve_installer(run, &request, plan);
}

int run_native_installer(const char* folder, const char* arguments, int* restart_needed) {
  // The message handler answers requests about the device: a removal has none.
  static wdi_device_entry no_device = {};
  install_run& run = current_run;
  // The caller holds the install mutex: no installation of this process can hold the run.
  if (run.request != nullptr) return WDI_ST_IN_USE;
  int token = 0;
  run.request = &token;
  velmor::scope_exit release([&run] { release_run(run); });
  active_device = &no_device;
  active_filter_mode = 0;
  active_unattended = 1;  // nothing to answer: no prompt to look for either
  reset_run_flags();
  launch_plan plan;
  velmor::path_copy(plan.folder, folder);
  plan.windows64 = windows_is_64bit();
  plan_package_installer(plan);
  velmor::path_copy(plan.arguments, arguments);
  int status = serve_installer(run, &token, plan);
  // The program's folder goes when the caller returns: its end is waited for, briefly.
  if (run.process) ::WaitForSingleObject(run.process.get(), kPackageReleaseWaitMs);
  if (restart_needed != nullptr) *restart_needed = install_restart_needed;
  return status;
}

extern "C" void release_abandoned_installation(void* request) {
  // Only the run of that request: another thread's run may hold the state by now.
  if (current_run.request != request || current_run.request == nullptr) return;
  if (current_run.process && ::WaitForSingleObject(current_run.process.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(current_run.process.get(), 0);
    current_run.ended_by_engine = true;
  }
  release_run(current_run);
}

extern "C" void stop_installation(void* request) { stopper.stop(request); }

extern "C" void stop_current_installation(void) { stopper.stop_any(); }

extern "C" int wdi_install_needs_restart(void) { return install_restart_needed; }

extern "C" int wdi_install_refused_by_policy(void) { return install_refused_by_policy; }

extern "C" int wdi_install_driver(struct wdi_device_entry* device, const char* path, const char* inf_name,
                                  const struct wdi_install_options* options) {
  install_request request = {device, path, inf_name, options};
  if (options != nullptr && options->owner_window != nullptr) {
    wdi_dbg("using progress bar mode");
    return run_with_progress_bar(options->owner_window, &request);
  }
  wdi_dbg("using standard mode");
  return install_driver_internal(&request);
}
