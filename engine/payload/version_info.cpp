// get_version_info: the version of a driver kind's payload file, read from a copy in a protected
// folder of its own (the version calls read files by name: nobody else may change it meanwhile).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/common/system.h"
#include "engine/common/utf8.h"
#include "engine/payload/extract.h"
#include "engine/payload/protected_folder.h"
#include "payload/payload_table.h"
#include "win/bounded_path.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/utf8.h"

using velmor::unique_malloc;

extern "C" {
VS_FIXEDFILEINFO driver_version_table[4] = {};
const char* const versioned_file_table[4] = {"winusbcoinstaller2.dll", "libusb0.sys", "libusbK.sys", ""};
}

namespace {

namespace imports = velmor::imports;

// The wide calls: the temporary path is UTF-8 and may hold any character of the user's name.
bool version_functions_found() {
  return imports::VerQueryValueW() != nullptr && imports::GetFileVersionInfoW() != nullptr &&
         imports::GetFileVersionInfoSizeW() != nullptr;
}

const payload_entry* find_entry(const char* name) {
  const char* wanted = name != nullptr ? name : "<NULL>";
  for (const payload_entry& entry : payload_table) {
    const char* entry_name = entry.file_name != nullptr ? entry.file_name : "<NULL>";
    if (std::strcmp(entry_name, wanted) == 0) return &entry;
  }
  return nullptr;
}


// The version record of the file at path, or false.
bool read_fixed_file_info(const char* path, VS_FIXEDFILEINFO* info) {
  unique_malloc<wchar_t> wide_path(utf8_to_utf16(path));
  if (!wide_path) return false;
  DWORD handle = 0;
  DWORD size = imports::GetFileVersionInfoSizeW()(wide_path.get(), &handle);
  if (size == 0) return false;
  unique_malloc<void> buffer(std::malloc(size));
  if (!buffer || !imports::GetFileVersionInfoW()(wide_path.get(), 0, size, buffer.get())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!imports::VerQueryValueW()(buffer.get(), L"\\", &value, &length) || value == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  std::memcpy(info, value, sizeof(*info));
  return true;
}

}  // namespace

extern "C" int get_version_info(int kind, VS_FIXEDFILEINFO* out) {
  if (static_cast<unsigned>(kind) > 3 || out == nullptr) return WDI_ST_BAD_PARAMETER;
  if (driver_version_table[kind].dwSignature != 0) {
    *out = driver_version_table[kind];
    return WDI_ST_OK;
  }
  if (!version_functions_found()) {
    wdi_warn("unable to access version.dll");
    return WDI_ST_NO_RESOURCE;
  }
  const payload_entry* entry = find_entry(versioned_file_table[kind]);
  if (entry == nullptr) return WDI_ST_MISSING;

  velmor::protected_folder folder;
  int status = folder.create("get_version_info");
  if (status != WDI_ST_OK) return WDI_ST_NO_RESOURCE;
  if (folder.write_file(entry->file_name, entry->data, entry->size, "get_version_info") != WDI_ST_OK)
    return WDI_ST_NO_RESOURCE;
  std::string copy = folder.full(entry->file_name);
  const char* path = copy.c_str();
  // The version calls open the file for reading with read sharing only: the engine's writing handle
  // goes first. Nobody else can change the file in the folder meanwhile.
  folder.close_files();

  VS_FIXEDFILEINFO info = {};
  if (read_fixed_file_info(path, &info)) {
    // The file date is the entry's build-time timestamp as a FILETIME (100 ns since 1601).
    uint64_t file_time = (static_cast<uint64_t>(entry->timestamp) + 11644473600ULL) * 10000000ULL;
    info.dwFileDateMS = static_cast<DWORD>(file_time >> 32);
    info.dwFileDateLS = static_cast<DWORD>(file_time & 0xFFFFFFFFu);
    driver_version_table[kind] = info;
    *out = info;
    status = WDI_ST_OK;
  } else {
    wdi_warn("unable to allocate buffer for version info");
    status = WDI_ST_NO_RESOURCE;
  }
  return status;
}
