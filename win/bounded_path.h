// Building texts and paths in fixed buffers: every append is cut so that the text never exceeds
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

template <size_t N>
void path_append(char (&buffer)[N], const char* text) {
  path_append(buffer, N, text);
}

// Replaces the buffer's text, cut in the same way.
template <size_t N>
void path_copy(char (&buffer)[N], const char* text) {
  buffer[0] = '\0';
  path_append(buffer, N, text);
}

}  // namespace velmor
