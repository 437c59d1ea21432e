// GUIDs as the text INF files carry.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, in a process-wide 40-byte buffer that the
// next call overwrites. A null GUID gives the text of GUID_NULL.
const char* guid_to_string(const GUID* guid);

#ifdef __cplusplus
}
#endif
