// The Windows side of the installer messages: replies go out on the installer pipe.
#include <windows.h>
#include <sddl.h>

#include <cstdlib>
#include <cstring>

#include "engine/install/install.h"
#include "engine/install/installer_pipe.h"
#include "engine/install/pipe_messages.h"
#include "engine/payload/security.h"
#include "win/handles.h"

extern "C" void send_installer_reply(const char* data, uint32_t length) {
  // The pipe is overlapped, so the write needs its own record; a reply fits the pipe's buffer and
  // completes at once, the bounded wait only guards against a client that stopped reading.
  velmor::unique_handle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return;
  OVERLAPPED write = {};
  write.hEvent = done.get();
  DWORD written = 0;
  if (::WriteFile(installer_pipe, data, length, &written, &write)) return;
  if (::GetLastError() != ERROR_IO_PENDING) return;
  if (::WaitForSingleObject(done.get(), PIPE_READ_TIMEOUT_FINITE) != WAIT_OBJECT_0) {
    ::CancelIo(installer_pipe);
    ::GetOverlappedResult(installer_pipe, &write, &written, TRUE);
  }
}

extern "C" char* current_user_sid_text(void) {
  // The SID copy is released whether or not it converts.
  velmor::unique_hlocal sid(get_sid());
  if (!sid) return nullptr;
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(static_cast<PSID>(sid.get()), &text)) return nullptr;
  velmor::unique_hlocal text_owner(text);
  return strdup(text);
}
