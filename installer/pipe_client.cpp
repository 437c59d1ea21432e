#include "installer/pipe_client.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "engine/pipe_protocol.h"
#include "engine/win_raii.h"
#include "installer/installer_state.h"

namespace {

// One message: type byte, up to 254 characters of text and the terminator.
enum { log_message_capacity = 1 + 254 + 1 };

}  // namespace

void pipe_send_message(const void* data, size_t size) {
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

// Reads and drops the rest of a reply message that did not fit.
void drain_message(OVERLAPPED* ov) {
  char scrap[256];
  for (int i = 0; i < 4096; ++i) {  // bounded: a reply is never megabytes
    ::ResetEvent(ov->hEvent);
    DWORD got = 0;
    BOOL ok = ::ReadFile(engine_pipe, scrap, sizeof(scrap), &got, ov);
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
      if (::WaitForSingleObject(ov->hEvent, 5000) != WAIT_OBJECT_0) {
        ::CancelIo(engine_pipe);
        return;
      }
      ok = ::GetOverlappedResult(engine_pipe, ov, &got, FALSE);
    }
    if (ok || ::GetLastError() != ERROR_MORE_DATA) return;
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
  // One byte less than the buffer: a reply that fills it would leave no terminator.
  DWORD got = 0;
  if (::ReadFile(engine_pipe, buffer, reply_capacity - 1, &got, &ov)) {
    pipe_log("received unexpected data");
    return -1;
  }
  DWORD err = ::GetLastError();
  if (err == ERROR_MORE_DATA) {
    pipe_log("received unexpected data");
    drain_message(&ov);
    return -1;
  }
  if (err != ERROR_IO_PENDING) {
    pipe_log("failure to initiate read (%lu)", err);
    return -1;
  }
  pipe_send_type(type);
  DWORD wait = ::WaitForSingleObject(ov.hEvent, 5000);
  if (wait == WAIT_OBJECT_0) {
    if (::GetOverlappedResult(engine_pipe, &ov, &got, FALSE)) return static_cast<int>(got);
    if (::GetLastError() == ERROR_MORE_DATA) {
      memset(buffer, 0, reply_capacity);
      pipe_log("reply of %d bytes or more refused", reply_capacity);
      drain_message(&ov);
      return -1;
    }
    pipe_log("read error: %lu", ::GetLastError());
    return -1;
  }
  if (wait == WAIT_TIMEOUT) {
    pipe_log("message request: timed out");
  } else {
    pipe_log("read error: %lu", ::GetLastError());
  }
  // The read must not outlive its record and event.
  ::CancelIo(engine_pipe);
  ::GetOverlappedResult(engine_pipe, &ov, &got, TRUE);
  return -1;
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
