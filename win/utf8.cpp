#include "win/utf8.h"

#include <cstdlib>

#include "win/handles.h"

namespace velmor {

char* to_utf8(const wchar_t* text) {
  if (text == nullptr) return nullptr;
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return nullptr;
  unique_malloc<char> out(static_cast<char*>(std::calloc(static_cast<size_t>(size), 1)));
  if (!out || ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.get(), size, nullptr, nullptr) != size) return nullptr;
  return out.release();
}

wchar_t* to_utf16(const char* text) {
  if (text == nullptr) return nullptr;
  int size = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (size <= 0) return nullptr;
  unique_malloc<wchar_t> out(static_cast<wchar_t*>(std::calloc(static_cast<size_t>(size), sizeof(wchar_t))));
  if (!out || ::MultiByteToWideChar(CP_UTF8, 0, text, -1, out.get(), size) != size) return nullptr;
  return out.release();
}

std::string utf8_string(const wchar_t* text) {
  unique_malloc<char> converted(to_utf8(text));
  return converted ? std::string(converted.get()) : std::string();
}

std::wstring utf16_string(const char* text) {
  unique_malloc<wchar_t> converted(to_utf16(text));
  return converted ? std::wstring(converted.get()) : std::wstring();
}

char* environment_utf8(const wchar_t* name) {
  DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return nullptr;
  unique_malloc<wchar_t> value(static_cast<wchar_t*>(std::calloc(size, sizeof(wchar_t))));
  if (!value) return nullptr;
  DWORD length = ::GetEnvironmentVariableW(name, value.get(), size);
  if (length == 0 || length >= size) return nullptr;
  return to_utf8(value.get());
}

}  // namespace velmor
