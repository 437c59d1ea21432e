// Directories and files owned by the current user, and that user's SID.
#pragma once

#include <windows.h>

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

// A new copy of the current user's SID (free with LocalFree), or null after logging.
PSID get_sid(void);

// 0 when the UTF-8 directory path exists or was created (with its parents, owned by the current
// user); else a negative status. A relative path is created under the current directory.
int check_dir(const char* path);

// An empty file at the UTF-8 path, created or truncated and owned by the current user, as a
// binary C stream. Mode: each "r" adds read, each "w" write access; write access is required.
// Null on failure, with the Windows last error kept.
FILE* fcreate(const char* path, const char* mode);

#ifdef __cplusplus
}
#endif
