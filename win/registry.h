// Registry values read with their type and size checked in one place.
#pragma once

#include <windows.h>

namespace velmor {

// A REG_SZ value into buffer, terminated. ERROR_SUCCESS, the call's error (ERROR_FILE_NOT_FOUND for a
// missing value), ERROR_MORE_DATA when it does not fit with its terminator, or ERROR_INVALID_DATA for
// another type; the buffer is left empty on any failure.
LONG read_registry_string(HKEY key, const char* name, char* buffer, DWORD capacity);

// A REG_DWORD value. ERROR_SUCCESS, the call's error, or ERROR_INVALID_DATA for another type or size.
LONG read_registry_dword(HKEY key, const char* name, DWORD* value);

}  // namespace velmor
