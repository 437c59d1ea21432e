#include "engine/install/installer_pipe.h"

#include <sddl.h>

#include <cstdio>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/windows_version.h"
#include "protocol/pipe_protocol.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/random.h"

namespace {

const char kCaller[] = "install_driver_internal";
// Protected (no inherited entries): full access for the system account and administrators only.
const wchar_t kPipeSecurity[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

}  // namespace

HANDLE create_installer_pipe(const char* name) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1, &raw, nullptr)) {
    engine_log(LOG_ERROR, kCaller, "could not create read pipe: %s", windows_error_text(0));
    return INVALID_HANDLE_VALUE;
  }
  velmor::unique_hlocal descriptor(raw);
  SECURITY_ATTRIBUTES security = {sizeof(security), raw, FALSE};
  if (windows_version_code == -1) detect_windows_version();
  // XP's pipes know no such flag and refuse the call that names it.
  DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
  if (windows_version_code >= 0x60) mode |= PIPE_REJECT_REMOTE_CLIENTS;
  HANDLE pipe = ::CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                                   FILE_FLAG_FIRST_PIPE_INSTANCE, mode, 1, 4096, 4096, 0, &security);
  DWORD error = pipe == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
  // Wine ignores the first-instance flag when the pipe that exists admits more instances, and
  // makes ours one of them: an instance count above one tells.
  DWORD instances = 0;
  if (pipe != INVALID_HANDLE_VALUE &&
      ::GetNamedPipeHandleStateA(pipe, nullptr, &instances, nullptr, nullptr, nullptr, 0) && instances > 1) {
    ::CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
    error = ERROR_ACCESS_DENIED;
  }
  if (pipe == INVALID_HANDLE_VALUE) {
    engine_log(LOG_ERROR, kCaller, "could not create read pipe: %s", windows_error_text(error));
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) {
      engine_log(LOG_ERROR, kCaller, "another program already holds the pipe %s - the installer is not started",
                 name);
    }
    ::SetLastError(error);
  }
  return pipe;
}

bool draw_installer_pipe_name(char* name, char* argument, size_t argument_size) {
  unsigned char id[INSTALLER_PIPE_ID_LENGTH / 2];
  if (!velmor::random_bytes(id, sizeof(id))) {
    engine_log(LOG_ERROR, kCaller, "could not draw a name for the installer pipe: %s", windows_error_text(0));
    return false;
  }
  char digits[INSTALLER_PIPE_ID_LENGTH + 1] = {};
  for (size_t i = 0; i < sizeof(id); ++i) std::snprintf(digits + 2 * i, 3, "%02x", id[i]);
  int written = std::snprintf(argument, argument_size, "%s%s", INSTALLER_PIPE_ARGUMENT, digits);
  return written > 0 && static_cast<size_t>(written) < argument_size && installer_pipe_argument(argument, name);
}

bool installer_pipe_client_is(HANDLE pipe, DWORD expected) {
  auto client_process_id = velmor::imports::GetNamedPipeClientProcessId();
  if (client_process_id == nullptr) {
    engine_log(LOG_DEBUG, kCaller, "the system cannot name a pipe's client - the installer pipe's client is not checked");
    return true;
  }
  ULONG client = 0;
  if (!client_process_id(pipe, &client)) {
    engine_log(LOG_ERROR, kCaller, "could not identify the installer pipe's client: %s - aborting",
               windows_error_text(0));
    return false;
  }
  if (client != expected) {
    engine_log(LOG_ERROR, kCaller, "the installer pipe's client (process %lu) is not the installer (process %lu) - aborting",
               client, static_cast<unsigned long>(expected));
    return false;
  }
  return true;
}
