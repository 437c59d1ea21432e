// The driver kinds this build knows and which of them it can prepare.
//   driver_kind_names, inf_template_table, catalog_list_template_table, compatible_id_table,
//   wdi_is_driver_supported

#include "engine/common/log.h"
#include "engine/common/windows_version.h"
#include "engine/package/prepare.h"
#include "engine/payload/extract.h"

const char* const driver_kind_names[DRIVER_KIND_COUNT] = {"WinUSB", "libusb0.sys", "libusbK.sys",
                                                          "Generic USB CDC", "user driver"};
const char* const inf_template_table[DRIVER_KIND_WITH_TEMPLATE_COUNT] = {"winusb.inf.in", "libusb0.inf.in",
                                                                         "libusbk.inf.in", "usbser.inf.in"};
const char* const catalog_list_template_table[DRIVER_KIND_WITH_TEMPLATE_COUNT] = {
    "winusb.cat.in", "libusb0.cat.in", "libusbk.cat.in", "usbser.cat.in"};
const char* const compatible_id_table[DRIVER_KIND_WITH_TEMPLATE_COUNT] = {"MS_COMP_WINUSB", "MS_COMP_LIBUSB0",
                                                                          "MS_COMP_LIBUSBK", "MS_COMP_USBSER"};

extern "C" int wdi_is_driver_supported(int driver_kind, VS_FIXEDFILEINFO* driver_info) {
  if (driver_kind < DRIVER_KIND_USER && driver_kind != DRIVER_KIND_CDC && driver_info != nullptr) {
    // Read into a copy: the preparation passes the version cache's own record, which emptied in
    // place made every preparation extract and read the file again.
    VS_FIXEDFILEINFO found = {};
    // A missing version only leaves the INF at 0.0.0.0 and today's date.
    get_version_info(driver_kind, &found);
    *driver_info = found;
  }
  switch (driver_kind) {
    case DRIVER_KIND_WINUSB:
      // WinUSB arrived with XP (5.1); Server 2003 (5.2) has no co-installer for it.
      if (windows_version_code == -1) detect_windows_version();
      return windows_version_code >= 0x51 && windows_version_code != 0x52 ? 1 : 0;
    case DRIVER_KIND_LIBUSB0:
    case DRIVER_KIND_LIBUSBK:
    case DRIVER_KIND_CDC:
      return 1;
    case DRIVER_KIND_USER:
      return 0;
    default:
      wdi_err("unknown driver type");
      return 0;
  }
}
