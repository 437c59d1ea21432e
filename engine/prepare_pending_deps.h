// TEMPORARY: declarations of the payload, extraction, enumeration and catalog functions that package
// preparation calls, until their own headers land. Delete with prepare_pending_deps.cpp.
#pragma once

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

struct payload_entry {
  const char* subdir;
  const char* file_name;
  uint32_t size;
  int64_t timestamp;
  const uint8_t* data;
};

enum { PAYLOAD_ENTRY_COUNT = 28 };
extern const struct payload_entry payload_table[PAYLOAD_ENTRY_COUNT];

#ifdef _WIN32
#include <windows.h>
extern VS_FIXEDFILEINFO driver_version_table[4];
int check_dir(const char* dir);
FILE* fcreate(const char* path, const char* mode);
int extract_binaries(const char* dir);
int get_version_info(int kind, VS_FIXEDFILEINFO* out);
BOOL init_dlls(void);
int CreateCat(const char* cat_path, const char* hw_id, const char* folder, const char** members, DWORD count);
int SelfSignFile(const char* path, const char* subject);
#endif

#ifdef __cplusplus
}
#endif
