#include "installer/syslog_reader.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "installer/syslog_lines.h"
#include "win/handles.h"

namespace {

const char* const candidates[] = {"\\inf\\setupapi.dev.log", "\\setupapi.log", "\\setupact.log"};

// Idle polls grow to this pause; a stop request ends the pause at once.
constexpr DWORD kMaxPollDelayMs = 500;
constexpr DWORD kPollDelayStepMs = 100;
// After the stop request, a log another program holds exclusively is tried for this long before
// its last lines are given up.
constexpr DWORD kFinalOpenTries = 10;
constexpr DWORD kFinalOpenPauseMs = 50;

// Opened for one poll only. Every sharing mode: the device installer appends to the log, and
// Windows renames or deletes it when it grows too large, while the relay follows it.
velmor::unique_file open_log(const char* path) {
  return velmor::unique_file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The first candidate in the system's own Windows folder that opens, into path; false when none
// does. Not WINDIR: that is the caller's environment, and the installer runs elevated.
bool find_syslog(char (&path)[512]) {
  char windir[512] = {};
  UINT n = ::GetSystemWindowsDirectoryA(windir, sizeof(windir));
  if (n == 0 || n >= sizeof(windir)) {
    path[0] = '\0';
    return false;
  }
  for (const char* candidate : candidates) {
    int len = snprintf(path, sizeof(path), "%s%s", windir, candidate);
    if (len < 0 || static_cast<size_t>(len) >= sizeof(path)) continue;
    if (open_log(path)) {
      pipe_log("using syslog '%s'", path);
      return true;
    }
  }
  path[0] = '\0';
  return false;
}

// Relays one line in UTF-8, from the system's 8-bit code page.
void relay_line(const char* text, size_t length, void*) {
  if (is_syslog_marker(text, length)) return;
  static const char garbled[] = "<Garbled data>";
  int wide_len = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  velmor::unique_malloc<wchar_t> wide(
      wide_len > 0 ? static_cast<wchar_t*>(malloc(sizeof(wchar_t) * wide_len)) : nullptr);
  if (!wide || ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.get(), wide_len) != wide_len) {
    pipe_send_syslog(garbled, sizeof(garbled) - 1);
    return;
  }
  int utf8_len = ::WideCharToMultiByte(CP_UTF8, 0, wide.get(), wide_len, nullptr, 0, nullptr, nullptr);
  velmor::unique_malloc<char> utf8(utf8_len > 0 ? static_cast<char*>(malloc(utf8_len)) : nullptr);
  if (!utf8 ||
      ::WideCharToMultiByte(CP_UTF8, 0, wide.get(), wide_len, utf8.get(), utf8_len, nullptr, nullptr) != utf8_len) {
    pipe_send_syslog(garbled, sizeof(garbled) - 1);
    return;
  }
  pipe_send_syslog(utf8.get(), static_cast<size_t>(utf8_len));
}

enum class poll_result { consumed, nothing_new, not_opened, failed };

// One poll: opens the log, relays the complete lines written since `offset`, closes it.
poll_result poll_once(const char* path, uint64_t* offset) {
  velmor::unique_file file = open_log(path);
  if (!file) return poll_result::not_opened;
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size)) {
    pipe_log("could not read syslog file size");
    return poll_result::failed;
  }
  uint64_t total = static_cast<uint64_t>(size.QuadPart);
  if (total < *offset) {
    // The log was truncated or replaced: follow it from its new end.
    *offset = total;
    return poll_result::nothing_new;
  }
  if (total == *offset) return poll_result::nothing_new;
  // One pass reads at most this much; the rest follows in the next pass.
  uint64_t available = total - *offset;
  DWORD want = available > (1u << 20) ? (1u << 20) : static_cast<DWORD>(available);
  velmor::unique_malloc<char> buffer(static_cast<char*>(malloc(want + 1)));
  if (!buffer) {
    pipe_log("could not allocate buffer to read syslog");
    return poll_result::failed;
  }
  LARGE_INTEGER at = {};
  at.QuadPart = static_cast<LONGLONG>(*offset);
  DWORD got = 0;
  if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
      !::ReadFile(file.get(), buffer.get(), want, &got, nullptr)) {
    pipe_log("failed to read syslog");
    return poll_result::failed;
  }
  buffer.get()[got] = '\0';
  // A last piece without its line end is read again, with its end, by a later poll.
  size_t used = split_syslog_lines(buffer.get(), got, relay_line, nullptr);
  *offset += used;
  return used > 0 ? poll_result::consumed : poll_result::nothing_new;
}

// After the stop request: everything up to the log's end, then done.
void read_to_end(const char* path, uint64_t* offset) {
  for (DWORD tries = 0; tries < kFinalOpenTries;) {
    poll_result result = poll_once(path, offset);
    if (result == poll_result::consumed) continue;
    if (result != poll_result::not_opened) return;
    ++tries;
    ::Sleep(kFinalOpenPauseMs);
  }
}

void follow(const char* path) {
  uint64_t offset = 0;
  {
    velmor::unique_file file = open_log(path);
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
      pipe_log("Could not set syslog offset");
      return;
    }
    offset = static_cast<uint64_t>(size.QuadPart);
  }
  pipe_log("syslog reader thread started");
  ::SetEvent(syslog_ready);

  DWORD delay = 0;
  for (;;) {
    if (::WaitForSingleObject(syslog_stop, delay) == WAIT_OBJECT_0) {
      read_to_end(path, &offset);
      return;
    }
    poll_result result = poll_once(path, &offset);
    if (result == poll_result::failed) return;
    // A log held exclusively by another program for the moment is tried again at the next poll.
    if (result == poll_result::consumed) {
      delay = 0;
    } else if (delay < kMaxPollDelayMs) {
      delay += kPollDelayStepMs;
    }
  }
}

}  // namespace

unsigned __stdcall syslog_reader(void*) {
  char path[512];
  if (!find_syslog(path)) {
    pipe_log("Could not open any syslog");
    return 0;
  }
  follow(path);
  pipe_log("syslog reader thread terminating");
  return 0;
}
