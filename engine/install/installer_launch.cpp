#include "engine/install/installer_launch.h"

#include <cstdlib>
#include <string>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "win/full_path.h"
#include "win/imports.h"
#include "win/utf8.h"

namespace {

const char kCaller[] = "install_driver_internal";

bool inheritable(HANDLE handle) {
  DWORD flags = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetHandleInformation(handle, &flags) &&
         (flags & HANDLE_FLAG_INHERIT) != 0;
}

// The attribute list that restricts inheritance to `handles` (which must outlive it); null where
// the system has none (XP), which then inherits every inheritable handle of ours.
velmor::unique_attribute_list handle_list(HANDLE* handles, DWORD count) {
  auto initialize = velmor::imports::InitializeProcThreadAttributeList();
  auto update = velmor::imports::UpdateProcThreadAttribute();
  if (initialize == nullptr || update == nullptr || velmor::imports::DeleteProcThreadAttributeList() == nullptr) {
    return velmor::unique_attribute_list();
  }
  SIZE_T size = 0;
  initialize(nullptr, 1, 0, &size);
  velmor::unique_malloc<void> block(std::malloc(size));
  if (!block) return velmor::unique_attribute_list();
  auto* raw = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(block.get());
  if (!initialize(raw, 1, 0, &size)) return velmor::unique_attribute_list();
  velmor::unique_attribute_list list(static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(block.release()));
  if (!update(list.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE), nullptr, nullptr)) {
    return velmor::unique_attribute_list();
  }
  return list;
}

}  // namespace

int start_installer_process(const char* application, const char* command_line, const char* folder, HANDLE output,
                            velmor::unique_handle* process, velmor::unique_handle* thread) {
  std::wstring program = velmor::full_path(velmor::utf16_string(application));
  std::wstring command = velmor::utf16_string(command_line);
  std::wstring directory = velmor::utf16_string(folder);
  if (program.empty() || command.empty()) {
    engine_log(LOG_ERROR, kCaller, "CreateProcess failed: %s", windows_error_text(ERROR_BAD_PATHNAME));
    return WDI_ST_ELEVATION_REQUIRED;
  }

  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(STARTUPINFOW);
  // No console: the installer writes to none when the engine starts it (the filter installer's
  // output goes to our pipe through its standard handles), and a new console meant a console host
  // process started and waited for on every run (about 10 ms of each installer's start under Wine).
  DWORD flags = DETACHED_PROCESS;
  BOOL inherit = FALSE;
  HANDLE handles[2] = {output, ::GetStdHandle(STD_INPUT_HANDLE)};  // the list points here until the start
  velmor::unique_attribute_list list;
  if (output != nullptr) {
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = handles[1];
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = output;
    list = handle_list(handles, inheritable(handles[1]) && handles[1] != output ? 2 : 1);
    if (list) {
      startup.StartupInfo.cb = sizeof(startup);
      startup.lpAttributeList = list.get();
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    inherit = TRUE;
  }

  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, inherit, flags, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup.StartupInfo, &started)) {
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      engine_log(LOG_INFO, kCaller, "could not find installer executable");
      return WDI_ST_MISSING;
    }
    if (error == ERROR_CANCELLED) {
      engine_log(LOG_INFO, kCaller, "operation cancelled by the user");
      return WDI_ST_CANCELLED;
    }
    engine_log(LOG_ERROR, kCaller, "CreateProcess failed: %s", windows_error_text(error));
    return WDI_ST_ELEVATION_REQUIRED;
  }
  process->reset(started.hProcess);
  thread->reset(started.hThread);
  return WDI_ST_OK;
}
