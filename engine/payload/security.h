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
// user); else a negative status. A relative path is created under the current directory. The
// folder, and every folder this call creates, must not be a link.
int check_dir(const char* path);

// An empty file at the UTF-8 path, created or truncated and owned by the current user, as a
// binary C stream. Mode: each "r" adds read, each "w" write access; write access is required.
// Null on failure, with the Windows last error kept. Its folder and the file must not be links,
// and an existing file must have no other hard link.
FILE* fcreate(const char* path, const char* mode);

#ifdef __cplusplus
}

#include <string>
#include <vector>

#include "win/handles.h"

namespace velmor {

// Opened without following a link in its last part. Read access (and `more_access`) with read and
// write sharing only: while the handle is open nobody can delete or rename the object.
unique_file open_pinned(const std::wstring& path, DWORD more_access = 0);

// The folders of a package path, held open while the engine writes below them: each is opened
// without following a link, must be a folder and no link, and cannot be renamed, deleted or
// replaced while held.
class package_folders {
 public:
  // Every folder of the full path `folder` from the volume root down. With `create`, missing
  // folders are made; each becomes the current user's once it is held and checked. On Vista and
  // later a folder whose handle leads to another path than the one asked for is refused too.
  // 0, or a status after an error line under `caller`; WDI_ST_MISSING (no line) when a folder is
  // missing and `create` is false.
  // A folder already held is not checked again (it cannot have changed), nor is anything above it.
  int hold(const std::wstring& folder, bool create, const char* caller);
  // The held handle of exactly that full folder path (any case), or null.
  HANDLE handle_of(const std::wstring& folder) const;
  // Security attributes naming the current user as owner, built once for all the files created
  // below these folders; null (after an error line under `caller`) when they cannot be built, and
  // the file then gets the system default.
  SECURITY_ATTRIBUTES* owner_security(const char* caller);

 private:
  int hold_one(const std::wstring& part, bool create, const char* caller);
  // The length of the longest held folder that `folder` is or lies below; 0 when none.
  size_t held_prefix(const std::wstring& folder) const;
  std::vector<unique_file> held_;
  std::vector<std::wstring> held_paths_;  // full paths of held_, in the same order
  enum class built { not_yet, yes, failed } owner_built_ = built::not_yet;
  SECURITY_DESCRIPTOR owner_descriptor_ = {};
  SECURITY_ATTRIBUTES owner_attributes_ = {};
};

// check_dir for a path at or below the folder `base`, checking every folder from the base down.
// With `folders`, what is checked stays held there, and what is held there already is not checked
// again: one object for a whole package checks each folder once.
int check_dir_below(const char* base, const char* path);
int check_dir_below(const char* base, const char* path, package_folders& folders);

// fcreate for a file at or below the folder `base`: the folders from the base down and an existing
// file are checked first; a file that is a link or has other hard links is not written (null,
// ERROR_ACCESS_DENIED, after an error line). With `folders`, as for check_dir_below.
FILE* fcreate_below(const char* base, const char* path, const char* mode);
FILE* fcreate_below(const char* base, const char* path, const char* mode, package_folders& folders);

// The bytes as the whole content of a file at or below the folder `base`, opened and checked as by
// fcreate_below (the folders held in `folders`). not_opened keeps the Windows error of the failed
// step (ERROR_ACCESS_DENIED for a link or a file with other hard links, after an error line).
enum class write_result { written, not_opened, not_written };
write_result write_below(const char* base, const char* path, const void* data, size_t size,
                         package_folders& folders);

// For a file that a system component writes by name (the catalog): holds the folders from `base`
// down to the file's folder and checks that the file, where it exists, is neither a link nor has
// other hard links. 0 or a status after an error line under `caller`. The folders stay held while
// the object lives.
class package_file {
 public:
  int check(const char* base, const char* path, const char* caller);
  // The same with the folders held in `folders` (those of a whole package), which must outlive
  // this object's use.
  int check(const char* base, const char* path, const char* caller, package_folders& folders);

 private:
  package_folders folders_;
};

}  // namespace velmor
#endif
