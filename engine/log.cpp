#include "engine/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

int engine_log_level = LOG_INFO;

namespace {
std::atomic<engine_log_receiver> log_receiver{nullptr};

// The receiver's line: the same prefix and message as the streams get, built in one piece.
std::string receiver_line(const char* level_text, const char* function, const char* format, va_list args) {
  std::string line = std::string("Velmor:") + level_text + " [" + function + "] ";
  if (format == nullptr) return line;
  va_list measure;
  va_copy(measure, args);
  int needed = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (needed <= 0) return line;
  size_t prefix = line.size();
  line.resize(prefix + static_cast<size_t>(needed) + 1);
  std::vsnprintf(&line[prefix], static_cast<size_t>(needed) + 1, format, args);
  line.resize(prefix + static_cast<size_t>(needed));
  return line;
}
}  // namespace

extern "C" void engine_log_set_receiver(engine_log_receiver receiver) { log_receiver = receiver; }

extern "C" void engine_log(int level, const char* function, const char* format, ...) {
  engine_log_receiver receiver = log_receiver;
  const bool to_stream = level >= engine_log_level;
  if (!to_stream && receiver == nullptr) return;

  const char* level_text = "unknown";
  FILE* stream = stderr;
  switch (level) {
    case LOG_DEBUG: level_text = "debug"; break;
    case LOG_INFO: level_text = "info"; stream = stdout; break;
    case LOG_WARNING: level_text = "warning"; break;
    case LOG_ERROR: level_text = "error"; break;
    default: break;
  }
  if (function == nullptr) function = "";

  if (to_stream) {
    // Three writes, as the line's parts are produced; a line from another thread may interleave.
    std::fprintf(stream, "Velmor:%s [%s] ", level_text, function);
    if (format != nullptr) {
      va_list args;
      va_start(args, format);
      std::vfprintf(stream, format, args);
      va_end(args);
    }
    std::fputs("\n", stream);
    std::fflush(stream);
  }
  if (receiver != nullptr) {
    va_list args;
    va_start(args, format);
    // Out of memory, the receiver misses the line; the caller must not see an exception.
    try {
      std::string line = receiver_line(level_text, function, format, args);
      receiver(level, line.c_str());
    } catch (...) {
    }
    va_end(args);
  }
}
