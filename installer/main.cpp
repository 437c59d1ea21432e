// The installer program: installs one INF for the device the engine names, on the far side of the
// engine's pipe, and reports its status there and as its exit code.
#include <windows.h>
#include <newdev.h>
#include <objbase.h>
#include <process.h>
#include <setupapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "protocol/status.h"
#include "protocol/pipe_protocol.h"
#include "installer/device_nodes.h"
#include "installer/engine_watch.h"
#include "installer/install_messages.h"
#include "installer/installer_state.h"
#include "installer/package_removal.h"
#include "installer/pipe_client.h"
#include "installer/syslog_reader.h"
#include "installer/unattended.h"
#include "win/bounded_path.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/utf8.h"
#include "win/system_module.h"

namespace {

enum { path_capacity = 512 };

// The reader's last pass normally takes milliseconds; a log held by another program costs it at
// most half a second (syslog_reader.cpp). Beyond this the status goes out without the last lines.
constexpr DWORD kReaderEndWaitMs = 2000;

struct utf8_arguments {
  int count = 0;
  char** values = nullptr;
  bool owned = false;
  ~utf8_arguments() {
    if (!owned) return;
    for (int i = 0; i < count; ++i) free(values[i]);
    free(values);
  }
};

void take_arguments(int argc, char** argv, utf8_arguments* args) {
  if (auto get_main_args = velmor::imports::__wgetmainargs()) {
    int wargc = 0;
    wchar_t** wargv = nullptr;
    wchar_t** wenv = nullptr;
    int new_mode = 0;
    if (get_main_args(&wargc, &wargv, &wenv, 1, &new_mode) == 0 && wargv != nullptr && wargc > 0) {
      char** values = static_cast<char**>(calloc(static_cast<size_t>(wargc) + 1, sizeof(char*)));
      if (values != nullptr) {
        args->values = values;
        args->owned = true;
        for (int i = 0; i < wargc; ++i) {
          values[i] = velmor::to_utf8(wargv[i]);
          if (values[i] == nullptr) values[i] = static_cast<char*>(calloc(1, 1));
          args->count = i + 1;
        }
        return;
      }
    }
  }
  pipe_log("unable to access UTF-16 args - trying ANSI");
  args->count = argc;
  args->values = argv;
}


// Unattended: no prompt may appear (nobody would answer it), and a needed restart comes back in
// `restart` instead of Windows offering one. Otherwise the installation as it always was.
BOOL update_driver(const char* hardware_id, const char* inf_path, bool unattended, BOOL* restart) {
  velmor::unique_malloc<wchar_t> wide_id(velmor::to_utf16(hardware_id));
  velmor::unique_malloc<wchar_t> wide_inf(velmor::to_utf16(inf_path));
  if (!wide_id || !wide_inf) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD flags = unattended ? INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE : INSTALLFLAG_FORCE;
  BOOL ok = velmor::imports::UpdateDriverForPlugAndPlayDevicesW()(nullptr, wide_id.get(), wide_inf.get(), flags,
                                                               unattended ? restart : nullptr);
  velmor::preserve_last_error keep;
  wide_id.reset();
  wide_inf.reset();
  return ok;
}

// Copies the INF into the driver store; the destination name goes to destination (UTF-8).
BOOL copy_inf(const char* inf_path, char* destination) {
  velmor::unique_malloc<wchar_t> wide_inf(velmor::to_utf16(inf_path));
  if (!wide_inf) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  wchar_t wide_destination[path_capacity] = {};
  BOOL ok = velmor::imports::SetupCopyOEMInfW()(wide_inf.get(), nullptr, SPOST_PATH, 0, wide_destination,
                                               path_capacity, nullptr, nullptr);
  velmor::preserve_last_error keep;
  if (ok) {
    wide_destination[path_capacity - 1] = L'\0';
    velmor::unique_malloc<char> narrow(velmor::to_utf8(wide_destination));
    if (narrow) snprintf(destination, path_capacity, "%s", narrow.get());
  }
  return ok;
}

// Steps after the device identity is known: the install attempt, else the INF copy.
int install(const char* inf_path, const char* device_id, const char* hardware_id, bool unattended) {
  int status = WDI_ST_OK;
  if (hardware_id != nullptr) {
    pipe_log("Installing driver for %s - please wait...", hardware_id);
    BOOL restart = FALSE;
    BOOL ok = update_driver(hardware_id, inf_path, unattended, &restart);
    DWORD error = ::GetLastError();
    pipe_send_type(PIPEMSG_TIMEOUT_FINITE);
    if (ok) {
      pipe_log("driver update completed");
      if (restart) report_restart_needed();
      reenumerate_device(device_id);
      return WDI_ST_OK;
    }
    if (error == kPolicyRefusal) report_policy_refusal();
    status = map_install_error(error, inf_path);
    if (status != WDI_ST_OK) return status;
  }
  pipe_log("Copying inf file (for the next time device is plugged) - please wait...");
  pipe_send_type(PIPEMSG_TIMEOUT_INFINITE);
  char destination[path_capacity] = {};
  BOOL ok = copy_inf(inf_path, destination);
  DWORD error = ::GetLastError();
  pipe_send_type(PIPEMSG_TIMEOUT_FINITE);
  if (ok) {
    pipe_log("copied inf to %s", destination);
    reenumerate_device(device_id);
    return WDI_ST_OK;
  }
  status = map_install_error(error, inf_path);
  if (status == WDI_ST_OK) flag_removed_devices(hardware_id);
  return status;
}

// The relay thread of the system's setup log. Returns its handle, or null when it is not
// following a log (then syslog_stop is set).
HANDLE start_syslog_reader() {
  syslog_ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  syslog_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;
  if (syslog_ready != nullptr && syslog_stop != nullptr) {
    // A handle of our own (unlike _beginthread's, which the runtime closes when the thread ends),
    // so that the end of the run can wait for the thread and close it exactly once.
    thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, syslog_reader, nullptr, 0, nullptr));
  }
  // A reader that found no log ends at once: no need to wait out the rest of the two seconds.
  HANDLE ready_or_ended[2] = {syslog_ready, thread};
  if (thread == nullptr || ::WaitForMultipleObjects(2, ready_or_ended, FALSE, 2000) != WAIT_OBJECT_0) {
    pipe_log("Unable to create syslog reader thread");
    if (syslog_stop != nullptr) ::SetEvent(syslog_stop);
  }
  return thread;
}

// What the closing steps must undo, whichever step the run ended at.
struct run_state {
  velmor::unique_handle reader;
};

int run(int argc, char** argv, run_state* state) {
  if (!installer_init_dlls()) {
    pipe_log("could not init DLLs");
    return WDI_ST_NO_RESOURCE;
  }
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  utf8_arguments args;
  take_arguments(argc, argv, &args);
  // The arguments that are not the pipe's nor the mode's: the INF name, or the removal switch and
  // the published INF name.
  const char* given[2] = {};
  int count = 0;
  bool unattended = false;
  for (int i = 1; i < args.count && count < 2; ++i) {
    if (strcmp(args.values[i], INSTALLER_UNATTENDED_SWITCH) == 0) {
      unattended = true;
    } else if (!installer_pipe_argument(args.values[i], nullptr)) {
      given[count++] = args.values[i];
    }
  }
  if (count == 0) {
    printf("usage: %s <inf_name> | " INSTALLER_REMOVE_PACKAGE_SWITCH " <published inf_name>\n",
           args.count > 0 ? args.values[0] : "installer");
    pipe_log("missing inf_name parameter");
    // Nothing to install: a clear status rather than a run on an absent name.
    return WDI_ST_BAD_PARAMETER;
  }
  if (strcmp(given[0], INSTALLER_REMOVE_PACKAGE_SWITCH) == 0) {
    if (count < 2) {
      pipe_log("missing package name");
      return WDI_ST_BAD_PARAMETER;
    }
    return remove_package(given[1]);
  }
  const char* inf_name = given[0];
  pipe_log("got parameter %s", inf_name);

  wchar_t wide_dir[path_capacity] = {};
  DWORD n = ::GetFullPathNameW(L".", path_capacity, wide_dir, nullptr);
  char directory[path_capacity] = {};
  if (n == 0 || n > path_capacity ||
      ::WideCharToMultiByte(CP_UTF8, 0, wide_dir, -1, directory, path_capacity, nullptr, nullptr) == 0) {
    pipe_log("could not retrieve absolute path of working directory");
    return WDI_ST_DENIED;
  }
  char inf_path[path_capacity] = {};
  velmor::path_append(inf_path, directory);
  velmor::path_append(inf_path, "\\");
  velmor::path_append(inf_path, inf_name);

  const char* device_id = request_id(PIPEMSG_ASK_DEVICE_ID);
  const char* hardware_id = request_id(PIPEMSG_ASK_HARDWARE_ID);
  request_id(PIPEMSG_ASK_USER_SID);
  if (unattended) pipe_log("installation mode: unattended");

  state->reader.reset(start_syslog_reader());
  switch_restore_points_off();
  pipe_send_type(PIPEMSG_TIMEOUT_INFINITE);
  return install(inf_path, device_id, hardware_id, unattended);
}

}  // namespace

int main(int argc, char** argv) {
  // Before any module is loaded at run time: the package folder is the program's folder and the
  // current directory.
  velmor::restrict_dll_search();
  // The engine names the pipe it drew for this run on the command line.
  char pipe_name[INSTALLER_PIPE_NAME_SIZE] = {};
  for (int i = 1; i < argc && pipe_name[0] == '\0'; ++i) installer_pipe_argument(argv[i], pipe_name);
  engine_pipe = pipe_name[0] != '\0' ? pipe_open_client(pipe_name) : INVALID_HANDLE_VALUE;
  if (engine_pipe == INVALID_HANDLE_VALUE) {
    printf("This application can not be run from the command line.\n");
    printf("Please use your initial installer application if you want to install the driver.\n");
    return WDI_ST_UNSUPPORTED;
  }
  watch_engine(engine_pipe);
  run_state state;
  int status = run(argc, argv, &state);

  // The installation's last section is in the setup log by now: the reader relays it and ends,
  // so that every line reaches the engine before the status, which is the last message.
  if (syslog_stop != nullptr) ::SetEvent(syslog_stop);
  const bool reader_ended =
      !state.reader || ::WaitForSingleObject(state.reader.get(), kReaderEndWaitMs) == WAIT_OBJECT_0;
  state.reader.reset();
  // Put back before the status: the engine may start the next installer as soon as it has it, and
  // that one must find the user's setting, not ours.
  put_restore_points_back();
  pipe_send_type(PIPEMSG_COMPLETED);
  const char status_message[2] = {PIPEMSG_STATUS, static_cast<char>(status)};
  pipe_send_message(status_message, sizeof(status_message));

  // A relay that has not ended still waits on its events: they stay open until the process ends.
  if (reader_ended) {
    if (syslog_ready != nullptr) ::CloseHandle(syslog_ready);
    if (syslog_stop != nullptr) ::CloseHandle(syslog_stop);
  }
  // A relay still running past its wait may be writing: the close waits for that write.
  pipe_close();
  return status;
}
