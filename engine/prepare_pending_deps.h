// TEMPORARY: the catalog and signing functions that package preparation calls, until their own
// headers land. Delete with prepare_pending_deps.cpp.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

int CreateCat(const char* cat_path, const char* hw_id, const char* search_path, const char** file_list,
              DWORD file_list_count);
int SelfSignFile(const char* file_path, const char* subject);

// What the catalog stand-ins were last given, and whether they are to fail.
struct pending_catalog_record {
  int create_calls, sign_calls;
  char cat_path[MAX_PATH], hw_id[1100], folder[MAX_PATH], members[17][MAX_PATH], signed_path[MAX_PATH], subject[1200];
  DWORD count;
  int fail_create, fail_sign;
};
extern struct pending_catalog_record pending_catalog;

#ifdef __cplusplus
}
#endif
