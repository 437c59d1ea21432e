// TEMPORARY stand-ins for the catalog functions, so that package preparation links and its tests
// run before those land. Delete with prepare_pending_deps.h once the real ones are merged.
#include "engine/prepare_pending_deps.h"

#include <cstdio>

// Catalog stand-ins: record their arguments, write nothing.
struct pending_catalog_record pending_catalog;

extern "C" int CreateCat(const char* cat_path, const char* hw_id, const char* folder, const char** members,
                         DWORD count) {
  pending_catalog_record& r = pending_catalog;
  ++r.create_calls;
  std::snprintf(r.cat_path, sizeof(r.cat_path), "%s", cat_path);
  std::snprintf(r.hw_id, sizeof(r.hw_id), "%s", hw_id);
  std::snprintf(r.folder, sizeof(r.folder), "%s", folder);
  r.count = count;
  for (DWORD i = 0; i < count && i < 17; ++i) std::snprintf(r.members[i], sizeof(r.members[i]), "%s", members[i]);
  return r.fail_create ? FALSE : TRUE;
}

extern "C" int SelfSignFile(const char* path, const char* subject) {
  pending_catalog_record& r = pending_catalog;
  ++r.sign_calls;
  std::snprintf(r.signed_path, sizeof(r.signed_path), "%s", path);
  std::snprintf(r.subject, sizeof(r.subject), "%s", subject);
  return r.fail_sign ? FALSE : TRUE;
}
