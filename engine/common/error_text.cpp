#include "engine/common/error_text.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {
char error_text[256];
}

extern "C" const char* windows_error_text(uint32_t error_code) {
  DWORD code = error_code != 0 ? error_code : ::GetLastError();

  int tag = std::snprintf(error_text, sizeof(error_text), "[#%08lX] ", static_cast<unsigned long>(code));
  if (tag < 0) tag = 0;
  DWORD written = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), error_text + tag,
                                   static_cast<DWORD>(sizeof(error_text) - tag), nullptr);
  if (written == 0) {
    DWORD format_error = ::GetLastError();
    if (format_error != 0) {
      std::snprintf(error_text, sizeof(error_text), "Windows error code %lu (FormatMessage error code %lu)",
                    static_cast<unsigned long>(code), static_cast<unsigned long>(format_error));
    } else {
      std::snprintf(error_text, sizeof(error_text), "Unknown error code %lu", static_cast<unsigned long>(code));
    }
  } else {
    error_text[sizeof(error_text) - 1] = '\0';
    size_t len = std::strlen(error_text);
    while (len > 0 && (error_text[len - 1] == '\r' || error_text[len - 1] == '\n')) error_text[--len] = '\0';
  }
  error_text[sizeof(error_text) - 1] = '\0';
  return error_text;
}
