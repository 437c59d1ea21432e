// wdi_package_version: the version a package of a kind declares, read from the template the
// payload carries, so that it is always the version a preparation would write.
#include <cstring>

#include "engine/common/status.h"
#include "engine/package/driver_ver.h"
#include "engine/package/prepare.h"
#include "engine/payload/extract.h"
#include "payload/payload_table.h"

extern "C" int wdi_package_version(int driver_kind, uint64_t* version) {
  if (version == nullptr || driver_kind < 0 || driver_kind >= DRIVER_KIND_WITH_TEMPLATE_COUNT) {
    return WDI_ST_BAD_PARAMETER;
  }
  *version = 0;
  for (const payload_entry& entry : payload_table) {
    if (entry.subdir == nullptr || entry.subdir[0] != '\0' || entry.file_name == nullptr ||
        std::strcmp(entry.file_name, inf_template_table[driver_kind]) != 0) {
      continue;
    }
    // What the preparation puts in for the version token: the kind's payload file's version.
    uint64_t token_version = 0;
    VS_FIXEDFILEINFO info = {};
    if (driver_kind != DRIVER_KIND_CDC && get_version_info(driver_kind, &info) == WDI_ST_OK) {
      token_version = (static_cast<uint64_t>(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
    }
    *version = template_driver_version(reinterpret_cast<const char*>(entry.data), entry.size, token_version);
    return *version != 0 ? WDI_ST_OK : WDI_ST_DEVICE_ABSENT;
  }
  return WDI_ST_DEVICE_ABSENT;
}
