#include "installer/syslog_lines.h"

#include <string.h>

namespace {
bool is_line_end(char c) { return c == '\r' || c == '\n'; }
}  // namespace

size_t split_syslog_lines(const char* data, size_t size,
                          void (*line)(const char* text, size_t length, void* context), void* context) {
  size_t consumed = 0;
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (!is_line_end(data[i])) continue;
    if (i > start) line(data + start, i - start, context);
    while (i + 1 < size && is_line_end(data[i + 1])) ++i;
    start = i + 1;
    consumed = start;
  }
  return consumed;
}

bool is_syslog_marker(const char* text, size_t length) {
  static const char marker[] = "<ins>";
  return length == sizeof(marker) - 1 && memcmp(text, marker, length) == 0;
}
