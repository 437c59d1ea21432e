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
#include "win/system_module.h"
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

// The version record inside the image bytes themselves: the VS_VERSIONINFO block of its version
// resource (the key "VS_VERSION_INFO" six bytes into the block, the record behind the key, aligned
// to four bytes from the block's start).
bool fixed_file_info_in_image(const unsigned char* data, size_t size, VS_FIXEDFILEINFO* info) {
  static const wchar_t key[] = L"VS_VERSION_INFO";
  const size_t key_bytes = sizeof(key);  // with its terminator
  const size_t value_offset = (6 + key_bytes + 3) & ~static_cast<size_t>(3);
  if (size < value_offset + sizeof(*info)) return false;
  for (size_t block = 0; block + value_offset + sizeof(*info) <= size; block += 2) {
    if (std::memcmp(data + block + 6, key, key_bytes) != 0) continue;
    VS_FIXEDFILEINFO found;
    std::memcpy(&found, data + block + value_offset, sizeof(found));
    if (found.dwSignature != VS_FFI_SIGNATURE) continue;
    *info = found;
    return true;
  }
  return false;
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

  VS_FIXEDFILEINFO info = {};
  bool found = false;
  if (velmor::user_is_admin()) {
    velmor::protected_folder folder;
    int status = folder.create("get_version_info");
    if (status != WDI_ST_OK) return WDI_ST_NO_RESOURCE;
    if (folder.write_file(entry->file_name, entry->data, entry->size, "get_version_info") != WDI_ST_OK)
      return WDI_ST_NO_RESOURCE;
    std::string copy = folder.full(entry->file_name);
    // The version calls open the file for reading with read sharing only: the engine's writing
    // handle goes first. Nobody else can change the file in the folder meanwhile.
    folder.close_files();
    found = read_fixed_file_info(copy.c_str(), &info);
  } else {
    // No protected folder can be had without administrator rights (one made in the Windows
    // folder's Temp could be neither held nor removed again), and the user's own folders are open
    // to the user's programs: the record is read from the bytes the program carries.
    found = fixed_file_info_in_image(entry->data, entry->size, &info);
  }
  int status = WDI_ST_OK;
  if (found) {
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
