// Writing the embedded payload into a folder, and the version of the driver files it carries.
#pragma once

#include <windows.h>

#include "engine/payload/security.h"

#ifdef __cplusplus
extern "C" {
#endif

// Writes every payload entry that is not a template into the UTF-8 folder dir: its own files and
// the sub-folders "x86", "amd64" and "license\libusb0". Returns 0 or a negative status; files
// written before a failure stay.
int extract_binaries(const char* dir);

// The version record of each driver kind 0 to 3, filled by get_version_info (dwSignature != 0).
extern VS_FIXEDFILEINFO driver_version_table[4];
// The payload file whose version stands for each driver kind 0 to 3 ("" for none).
extern const char* const versioned_file_table[4];

// The version record of a driver kind's payload file, with the file date replaced by the entry's
// timestamp (as a FILETIME). Returns 0, -2 for a kind outside 0..3 or a null out, -5 when the
// kind has no file, -11 when the file cannot be written or read.
int get_version_info(int kind, VS_FIXEDFILEINFO* out);

#ifdef __cplusplus
}

#include "engine/payload/protected_folder.h"

namespace velmor {
// extract_binaries with the folders held in `folders`: those a preparation holds for the whole
// package are not checked again.
int extract_binaries(const char* dir, package_folders& folders);
// extract_binaries into a protected folder: the same files and sub-folders, each created new, its
// handle held by the folder. 0 or a negative status.
int extract_binaries_into(protected_folder& folder);
}  // namespace velmor
#endif
