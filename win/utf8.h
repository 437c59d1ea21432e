// UTF-8 <-> UTF-16 conversion. Strings inside the project are UTF-8; UTF-16 is used only at the
// wide Windows calls.
#pragma once

#include <windows.h>

#include <string>

namespace velmor {

// Newly allocated converted copies (free with free()), empty text included; null for a null text or
// a failed conversion.
char* to_utf8(const wchar_t* text);
wchar_t* to_utf16(const char* text);
// The same as strings; empty for a null text or a failed conversion.
std::string utf8_string(const wchar_t* text);
std::wstring utf16_string(const char* text);
inline std::string utf8_string(const std::wstring& text) { return utf8_string(text.c_str()); }

// A variable of the process environment as a newly allocated UTF-8 text (free with free()); null when
// it is unset or empty. Read wide, so that any character of a user's name survives.
char* environment_utf8(const wchar_t* name);

// The temporary folder the environment names (TEMP), as above.
inline char* temp_folder_utf8() { return environment_utf8(L"TEMP"); }

}  // namespace velmor
