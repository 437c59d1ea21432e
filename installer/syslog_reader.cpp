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

velmor::unique_file open_syslog() {
  // The system's own Windows folder: WINDIR is the caller's environment, and the installer runs
  // elevated.
  char windir[512] = {};
  UINT n = ::GetSystemWindowsDirectoryA(windir, sizeof(windir));
  if (n == 0 || n >= sizeof(windir)) return velmor::unique_file();
  for (const char* candidate : candidates) {
    char path[512];
    int len = snprintf(path, sizeof(path), "%s%s", windir, candidate);
    if (len < 0 || static_cast<size_t>(len) >= sizeof(path)) continue;
    velmor::unique_file file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      pipe_log("using syslog '%s'", path);
      return file;
    }
  }
  return velmor::unique_file();
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

void follow(HANDLE file) {
  LARGE_INTEGER end = {};
  LARGE_INTEGER zero = {};
  if (!::SetFilePointerEx(file, zero, &end, FILE_END)) {
    pipe_log("Could not set syslog offset");
    return;
  }
  uint64_t offset = static_cast<uint64_t>(end.QuadPart);
  pipe_log("syslog reader thread started");
  ::SetEvent(syslog_ready);

  DWORD delay = 0;
  while (::WaitForSingleObject(syslog_stop, 0) != WAIT_OBJECT_0) {
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size)) {
      pipe_log("could not read syslog file size");
      return;
    }
    uint64_t total = static_cast<uint64_t>(size.QuadPart);
    bool consumed_any = false;
    if (total > offset) {
      // One pass reads at most this much; the rest follows in the next pass.
      uint64_t available = total - offset;
      DWORD want = available > (1u << 20) ? (1u << 20) : static_cast<DWORD>(available);
      velmor::unique_malloc<char> buffer(static_cast<char*>(malloc(want + 1)));
      if (!buffer) {
        pipe_log("could not allocate buffer to read syslog");
        return;
      }
      DWORD got = 0;
      if (!::ReadFile(file, buffer.get(), want, &got, nullptr)) {
        pipe_log("failed to read syslog");
        return;
      }
      buffer.get()[got] = '\0';
      size_t used = split_syslog_lines(buffer.get(), got, relay_line, nullptr);
      offset += used;
      if (used < got) {
        LARGE_INTEGER back = {};
        back.QuadPart = -static_cast<LONGLONG>(got - used);
        ::SetFilePointerEx(file, back, nullptr, FILE_CURRENT);
      }
      consumed_any = used > 0;
    } else if (total < offset) {
      // The log was truncated or replaced: follow it from its new end.
      offset = total;
      LARGE_INTEGER to = {};
      to.QuadPart = static_cast<LONGLONG>(total);
      ::SetFilePointerEx(file, to, nullptr, FILE_BEGIN);
    }
    if (consumed_any) {
      delay = 0;
    } else if (delay < 500) {
      delay += 100;
    }
    ::Sleep(delay);
  }
}

}  // namespace

unsigned __stdcall syslog_reader(void*) {
  velmor::unique_file file = open_syslog();
  if (!file) {
    pipe_log("Could not open any syslog");
    return 0;
  }
  follow(file.get());
  pipe_log("syslog reader thread terminating");
  return 0;
}
