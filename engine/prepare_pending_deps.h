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

// What the catalog stand-ins were last given, and whether they are to fail.
struct pending_catalog_record {
  int create_calls, sign_calls;
  char cat_path[MAX_PATH], hw_id[1100], folder[MAX_PATH], members[17][MAX_PATH], signed_path[MAX_PATH], subject[1200];
  DWORD count;
  int fail_create, fail_sign;
};
extern struct pending_catalog_record pending_catalog;
#endif

#ifdef __cplusplus
}
#endif
