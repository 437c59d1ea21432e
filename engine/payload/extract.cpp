// extract_binaries: writes the payload's files into a driver package folder.
#include "engine/payload/extract.h"

#include <cstdio>
#include <cstring>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "payload/payload_table.h"
#include "win/bounded_path.h"

using velmor::path_append;

extern "C" int extract_binaries(const char* dir) {
  // Every folder is checked once and held until the last file is written: a held folder cannot be
  // swapped for a link meanwhile, so the files below it need no second check of it.
  velmor::package_folders folders;
  return velmor::extract_binaries(dir, folders);
}

namespace velmor {

int extract_binaries(const char* dir, package_folders& folders) {
  if (dir == nullptr) return WDI_ST_BAD_PARAMETER;
  const char* checked_subdir = nullptr;
  for (const payload_entry& entry : payload_table) {
    if (entry.subdir[0] == '\0') continue;  // templates stay inside the program

    char path[MAX_PATH] = "";
    path_append(path, dir);
    path_append(path, "\\");
    path_append(path, entry.subdir);
    // Every folder from dir down is checked, not only the last: a link anywhere below the package
    // folder would lead the files elsewhere.
    if (checked_subdir == nullptr || std::strcmp(checked_subdir, entry.subdir) != 0) {
      int status = velmor::check_dir_below(dir, path, folders);
      if (status != WDI_ST_OK) return status;
      checked_subdir = entry.subdir;
    }

    path_append(path, "\\");
    path_append(path, entry.file_name);
    // With the two separators a full path then has at most MAX_PATH - 1 characters.
    if (std::strlen(dir) + std::strlen(entry.subdir) + std::strlen(entry.file_name) > MAX_PATH - 3) {
      wdi_err("qualified path is too long: '%s'", path);
      return WDI_ST_NO_RESOURCE;
    }

    velmor::write_result result = velmor::write_below(dir, path, entry.data, entry.size, folders);
    if (result == velmor::write_result::not_opened) {
      DWORD error = ::GetLastError();
      wdi_err("failed to create file '%s' (%s)", path, windows_error_text(error));
      // A link refused, or a file the user may not write: not a shortage of anything.
      return error == ERROR_ACCESS_DENIED ? WDI_ST_DENIED : WDI_ST_NO_RESOURCE;
    }
    // A short write (a full disk) would leave a broken driver file behind a reported success.
    if (result != velmor::write_result::written) {
      wdi_err("failed to write file '%s'", path);
      return WDI_ST_IO_FAILURE;
    }
  }
  wdi_info("successfully extracted driver files to %s", dir);
  return WDI_ST_OK;
}

int extract_binaries_into(protected_folder& folder) {
  for (const payload_entry& entry : payload_table) {
    if (entry.subdir[0] == '\0') continue;
    bool top = std::strcmp(entry.subdir, ".") == 0;
    if (!top) {
      int status = folder.make_folder(entry.subdir, "extract_binaries");
      if (status != WDI_ST_OK) return status;
    }
    char relative[MAX_PATH] = "";
    if (!top) {
      path_append(relative, entry.subdir);
      path_append(relative, "\\");
    }
    path_append(relative, entry.file_name);
    int status = folder.write_file(relative, entry.data, entry.size, "extract_binaries");
    if (status != WDI_ST_OK) return status;
  }
  return WDI_ST_OK;
}

}  // namespace velmor
