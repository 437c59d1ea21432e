#include "engine/common/utf8.h"

#include <cwchar>

#include "win/handles.h"
#include "win/utf8.h"

using velmor::unique_malloc;

// The engine's conversions give null for an empty text as well.
extern "C" char* utf16_to_utf8(const wchar_t* text) {
  return text != nullptr && text[0] != L'\0' ? velmor::to_utf8(text) : nullptr;
}

extern "C" wchar_t* utf8_to_utf16(const char* text) {
  return text != nullptr && text[0] != '\0' ? velmor::to_utf16(text) : nullptr;
}

namespace {
using wide = unique_malloc<wchar_t>;
}

extern "C" DWORD file_attributes_utf8(const char* path) {
  wide wpath(utf8_to_utf16(path));
  if (!wpath) return INVALID_FILE_ATTRIBUTES;
  wchar_t* p = wpath.get();
  size_t len = std::wcslen(p);
  if (len >= 2 && p[0] == L'"' && p[len - 1] == L'"') {
    p[len - 1] = L'\0';
    ++p;
  }
  return ::GetFileAttributesW(p);  // freeing the copy keeps the call's last error
}

