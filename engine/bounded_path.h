// Building paths in fixed buffers: every append is cut so that the text never exceeds
// capacity - 1 characters and stays terminated.
#pragma once

#include <windows.h>

#include <cstring>

namespace velmor {

inline void path_append(char* buffer, size_t capacity, const char* text) {
  if (capacity == 0) return;
  size_t used = ::strnlen(buffer, capacity - 1);
  size_t add = text != nullptr ? ::strnlen(text, capacity - 1 - used) : 0;
  if (add > 0) std::memcpy(buffer + used, text, add);
  buffer[used + add] = '\0';
}

inline void path_append(char (&buffer)[MAX_PATH], const char* text) { path_append(buffer, MAX_PATH, text); }

}  // namespace velmor
