#include "win/full_path.h"

#include <windows.h>

namespace velmor {

std::wstring full_path(const std::wstring& path) {
  DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  DWORD got = ::GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  if (got == 0 || got >= needed) return std::wstring();
  full.resize(got);
  return full;
}

}  // namespace velmor
