// UTF-8 <-> UTF-16 conversion and a UTF-8 wrapper of a wide Windows call. Engine strings are UTF-8;
// UTF-16 is used only at the Windows boundary.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Newly allocated converted copies (free with free()); null for an empty result or a failure.
char* utf16_to_utf8(const wchar_t* text);
wchar_t* utf8_to_utf16(const char* text);

// The attributes of a UTF-8 path, one enclosing pair of double quotes removed first; the wide
// call's last error is kept.
DWORD file_attributes_utf8(const char* path);

#ifdef __cplusplus
}
#endif
