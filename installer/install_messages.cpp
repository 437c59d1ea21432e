#include "installer/install_messages.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "protocol/status.h"
#include "installer/install_errors.h"
#include "installer/pipe_client.h"


int map_install_error(uint32_t code, const char* inf_path) {
  const install_error_row* row = find_install_error(code);
  if (row == nullptr) {
    pipe_log("unhandled error 0x%X (%d)", code, static_cast<int>(code));
    pipe_log("%s", installer_error_text(code));
    return WDI_ST_OTHER;
  }
  for (const char* line : row->lines) {
    if (line == nullptr) break;
    if (strstr(line, "%s") != nullptr) {
      pipe_log(line, inf_path != nullptr ? inf_path : "");
    } else {
      pipe_log("%s", line);
    }
  }
  return row->status;
}

const char* installer_error_text(uint32_t code) {
  static char text[256];
  if (code == 0) code = ::GetLastError();
  int tag = snprintf(text, sizeof(text), "[%u] ", code);
  if (tag < 0 || static_cast<size_t>(tag) >= sizeof(text)) tag = 0;
  DWORD size = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                installer_message_code(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                text + tag, static_cast<DWORD>(sizeof(text) - tag), nullptr);
  if (size == 0) {
    DWORD format_error = ::GetLastError();
    if (format_error != 0) {
      snprintf(text, sizeof(text), "Windows error code %u (FormatMessage error code %lu)", code, format_error);
    } else {
      snprintf(text, sizeof(text), "Unknown error code %u", code);
    }
    return text;
  }
  size_t len = strlen(text);
  while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r')) text[--len] = '\0';
  return text;
}
