#include "engine/common/log.h"

#include <cstdarg>
#include <cstdio>

int engine_log_level = LOG_INFO;

extern "C" void engine_log(int level, const char* function, const char* format, ...) {
  if (level < engine_log_level) return;

  const char* level_text = "unknown";
  FILE* stream = stderr;
  switch (level) {
    case LOG_DEBUG: level_text = "debug"; break;
    case LOG_INFO: level_text = "info"; stream = stdout; break;
    case LOG_WARNING: level_text = "warning"; break;
    case LOG_ERROR: level_text = "error"; break;
    default: break;
  }

  // Three writes, as the line's parts are produced; a line from another thread may interleave.
  std::fprintf(stream, "Velmor:%s [%s] ", level_text, function ? function : "");
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
  }
  std::fputs("\n", stream);
  std::fflush(stream);
}
