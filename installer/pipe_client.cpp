#include "installer/pipe_client.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "protocol/pipe_protocol.h"
#include "installer/installer_state.h"
#include "installer/pipe_server_check.h"
#include "win/handles.h"

namespace {

// One message: type byte, up to 254 characters of text and the terminator.
enum { log_message_capacity = 1 + 254 + 1 };

// The setup-log relay writes beside the main thread and may still be running when the main thread
// closes the pipe (a relay that did not end within its wait): each write and the close take this
// lock, so no write reaches a closed or reused handle. Set up before main and never deleted: a
// thread still running at process end may hold it.
struct write_lock {
  CRITICAL_SECTION section;
  write_lock() { ::InitializeCriticalSection(&section); }
};
write_lock pipe_writes;

class held_write_lock {
 public:
  held_write_lock() { ::EnterCriticalSection(&pipe_writes.section); }
  ~held_write_lock() { ::LeaveCriticalSection(&pipe_writes.section); }
  held_write_lock(const held_write_lock&) = delete;
  held_write_lock& operator=(const held_write_lock&) = delete;
};

}  // namespace

HANDLE pipe_open_client(const char* name) {
  velmor::unique_file pipe(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT |
                                             SECURITY_IDENTIFICATION,
                                         nullptr));
  if (pipe && !pipe_server_is_trusted(pipe.get())) {
    printf("The pipe %s is not served by an administrator: not connecting to it.\n", name);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return pipe.release();
}

void pipe_close() {
  held_write_lock held;
  if (engine_pipe == INVALID_HANDLE_VALUE) return;
  ::CloseHandle(engine_pipe);
  engine_pipe = INVALID_HANDLE_VALUE;
}

void pipe_send_message(const void* data, size_t size) {
  held_write_lock held;
  if (engine_pipe == INVALID_HANDLE_VALUE) return;
  // The pipe is opened for overlapped I/O, so every write carries its own record and waits.
  OVERLAPPED ov = {};
  velmor::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return;
  ov.hEvent = event.get();
  DWORD written = 0;
  if (!::WriteFile(engine_pipe, data, static_cast<DWORD>(size), &written, &ov) && ::GetLastError() == ERROR_IO_PENDING) {
    ::GetOverlappedResult(engine_pipe, &ov, &written, TRUE);
  }
}

namespace {

// Waits for an overlapped read on the pipe; the byte count, or -1. ERROR_MORE_DATA counts as a
// read of the whole buffer (the rest of the message stays in the pipe).
int finish_read(OVERLAPPED* ov, DWORD wait_ms) {
  DWORD w = ::WaitForSingleObject(ov->hEvent, wait_ms);
  DWORD got = 0;
  if (w != WAIT_OBJECT_0) {
    DWORD err = w == WAIT_TIMEOUT ? ERROR_TIMEOUT : ::GetLastError();
    // The read must not outlive its record and event.
    ::CancelIo(engine_pipe);
    ::GetOverlappedResult(engine_pipe, ov, &got, TRUE);
    ::SetLastError(err);
    return -1;
  }
  if (::GetOverlappedResult(engine_pipe, ov, &got, FALSE) || ::GetLastError() == ERROR_MORE_DATA) {
    return static_cast<int>(got);
  }
  return -1;
}

// Reads and drops what is left of the current message.
void drain_message(OVERLAPPED* ov) {
  char scrap[1024];
  for (int i = 0; i < 1024; ++i) {  // bounded: a reply is never megabytes
    DWORD left = 0;
    if (!::PeekNamedPipe(engine_pipe, nullptr, 0, nullptr, nullptr, &left) || left == 0) return;
    ::ResetEvent(ov->hEvent);
    DWORD got = 0;
    DWORD want = left < sizeof(scrap) ? left : sizeof(scrap);
    if (!::ReadFile(engine_pipe, scrap, want, &got, ov) && ::GetLastError() != ERROR_MORE_DATA &&
        (::GetLastError() != ERROR_IO_PENDING || finish_read(ov, 5000) < 0)) {
      return;
    }
  }
}

}  // namespace

void pipe_log(const char* format, ...) {
  if (engine_pipe == INVALID_HANDLE_VALUE) return;
  char message[log_message_capacity];
  message[0] = PIPEMSG_LOG;
  va_list args;
  va_start(args, format);
  int n = vsnprintf(message + 1, sizeof(message) - 1, format, args);
  va_end(args);
  if (n < 0) return;
  size_t text = strlen(message + 1);
  pipe_send_message(message, 1 + text + 1);
}

void pipe_send_type(char type) { pipe_send_message(&type, 1); }

void pipe_send_syslog(const char* text, size_t length) {
  if (engine_pipe == INVALID_HANDLE_VALUE) return;
  velmor::unique_malloc<char> message(static_cast<char*>(malloc(length + 2)));
  if (!message) return;
  message.get()[0] = PIPEMSG_SYSLOG;
  memcpy(message.get() + 1, text, length);
  message.get()[length + 1] = '\0';
  pipe_send_message(message.get(), length + 2);
}

int request_value(char type, char* buffer) {
  OVERLAPPED ov = {};
  velmor::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) {
    pipe_log("failed to create overlapped");
    return -1;
  }
  ov.hEvent = event.get();
  // One byte more than the buffer holds, so that a reply too long to be terminated is seen as such.
  char reply[reply_capacity + 1];
  DWORD got = 0;
  if (::ReadFile(engine_pipe, reply, sizeof(reply), &got, &ov) || ::GetLastError() == ERROR_MORE_DATA) {
    pipe_log("received unexpected data");
    drain_message(&ov);
    return -1;
  }
  DWORD err = ::GetLastError();
  if (err != ERROR_IO_PENDING) {
    pipe_log("failure to initiate read (%lu)", err);
    return -1;
  }
  pipe_send_type(type);
  int count = finish_read(&ov, 5000);
  if (count < 0) {
    if (::GetLastError() == ERROR_TIMEOUT) {
      pipe_log("message request: timed out");
    } else {
      pipe_log("read error: %lu", ::GetLastError());
    }
    return -1;
  }
  if (count >= reply_capacity) {
    pipe_log("reply of %d bytes or more refused", reply_capacity);
    drain_message(&ov);
    return -1;
  }
  memcpy(buffer, reply, static_cast<size_t>(count));
  buffer[count] = '\0';
  return count;
}

char* request_id(int type) {
  char* buffer;
  const char* name;
  switch (type) {
    case PIPEMSG_ASK_DEVICE_ID:
      buffer = device_id_text;
      name = "device_id";
      break;
    case PIPEMSG_ASK_HARDWARE_ID:
      buffer = hardware_id_text;
      name = "hardware_id";
      break;
    case PIPEMSG_ASK_USER_SID:
      buffer = user_sid_text;
      name = "user_sid";
      break;
    default:
      pipe_log("req_id: unknown ID requested");
      return nullptr;
  }
  memset(buffer, 0, reply_capacity);
  int count = request_value(static_cast<char>(type), buffer);
  if (count > 0) {
    pipe_log("got %s: '%s'", name, buffer);
    return buffer[0] != '\0' ? buffer : nullptr;
  }
  pipe_log("failed to read %s", name);
  return nullptr;
}
