// The token values of one preparation (INF and catalog list templates).
//   velmor::prepare::fill_inf_tokens, velmor::prepare::substitute_template
#include <objbase.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/common/status.h"
#include "engine/package/android_devices.h"
#include "engine/package/guid_text.h"
#include "engine/package/inf_tokens.h"
#include "engine/package/prepare_internal.h"
#include "engine/package/vendor_names.h"
#include "engine/payload/extract.h"
#include "win/handles.h"

namespace velmor::prepare {
namespace {

constexpr int kWdfVersion = 1011;
constexpr int kKmdfMajor = 1;
constexpr int kKmdfMinor = 11;

void set_token_format(inf_token_index index, const char* format, ...) __attribute__((format(printf, 2, 3)));
void set_token_format(inf_token_index index, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(inf_token_table[index].value, INF_TOKEN_VALUE_SIZE, format, args);
  va_end(args);
}

// The local date of the version record's file date, or today's when it has none.
SYSTEMTIME driver_date(const VS_FIXEDFILEINFO& version) {
  SYSTEMTIME date = {};
  FILETIME file_date = {version.dwFileDateLS, version.dwFileDateMS};
  FILETIME local = {};
  if ((file_date.dwLowDateTime == 0 && file_date.dwHighDateTime == 0) ||
      !::FileTimeToLocalFileTime(&file_date, &local) || !::FileTimeToSystemTime(&local, &date)) {
    ::GetLocalTime(&date);
  }
  return date;
}

// The device interface GUID text, or a negative status.
int choose_interface_guid(const wdi_device_entry& device, const wdi_prepare_options* options) {
  if (options != nullptr && options->generic_compatible_id) {
    set_inf_token(INF_TOKEN_DEVICE_INTERFACE_GUID, "UNUSED");
  } else if (options != nullptr && options->interface_guid != nullptr) {
    set_inf_token(INF_TOKEN_DEVICE_INTERFACE_GUID, options->interface_guid);
  } else if (is_android_device(device.vendor_id, device.product_id)) {
    prepare_info("using Android Device Interface GUID");
    set_inf_token(INF_TOKEN_DEVICE_INTERFACE_GUID, ANDROID_DEVICE_INTERFACE_GUID);
  } else {
    GUID guid = {};
    HRESULT hr = ::CoCreateGuid(&guid);
    // GUID_NULL in an INF would give every such device the same interface.
    if (FAILED(hr)) {
      prepare_err("could not create a device interface GUID (0x%08lX)", static_cast<unsigned long>(hr));
      return WDI_ST_NO_RESOURCE;
    }
    set_inf_token(INF_TOKEN_DEVICE_INTERFACE_GUID, guid_to_string(&guid));
  }
  return WDI_ST_OK;
}

}  // namespace

int fill_inf_tokens(const wdi_device_entry& device, const char* inf_name, const wdi_prepare_options* options,
                    int kind) {
  const bool generic = options != nullptr && options->generic_compatible_id;

  set_inf_token(INF_TOKEN_INF_FILENAME, inf_name);
  unique_malloc<char> cat_name(::_strdup(inf_name));
  if (!cat_name) return WDI_ST_NO_RESOURCE;
  size_t len = std::strlen(cat_name.get());
  std::memcpy(cat_name.get() + len - 3, "cat", 3);  // inf_name ends in ".inf"
  set_inf_token(INF_TOKEN_CAT_FILENAME, cat_name.get());
  set_inf_token(INF_TOKEN_DEVICE_DESCRIPTION, device.description);

  if (generic) {
    set_inf_token(INF_TOKEN_DEVICE_HARDWARE_ID, compatible_id_table[kind]);
  } else if (device.is_interface) {
    set_token_format(INF_TOKEN_DEVICE_HARDWARE_ID, "VID_%04X&PID_%04X&MI_%02X", device.vendor_id, device.product_id,
                     device.interface_number);
  } else {
    set_token_format(INF_TOKEN_DEVICE_HARDWARE_ID, "VID_%04X&PID_%04X", device.vendor_id, device.product_id);
  }
  set_inf_token(INF_TOKEN_USE_DEVICE_INTERFACE_GUID, generic ? "NoDeviceInterfaceGUID" : "AddDeviceInterfaceGUID");
  int status = choose_interface_guid(device, options);
  if (status != WDI_ST_OK) return status;

  if (options != nullptr && options->manufacturer != nullptr) {
    set_inf_token(INF_TOKEN_DEVICE_MANUFACTURER, options->manufacturer);
  } else {
    const char* vendor = vendor_name_of(device.vendor_id);
    set_inf_token(INF_TOKEN_DEVICE_MANUFACTURER, vendor != nullptr ? vendor : "(Undefined Vendor)");
  }

  set_token_format(INF_TOKEN_WDF_VERSION, "%05d", kWdfVersion);
  set_token_format(INF_TOKEN_KMDF_VERSION, "%d.%d", kKmdfMajor, kKmdfMinor);

  const VS_FIXEDFILEINFO& version = driver_version_table[kind];
  SYSTEMTIME date = driver_date(version);
  set_token_format(INF_TOKEN_DRIVER_DATE, "%02d/%02d/%04d", date.wMonth, date.wDay, date.wYear);
  set_token_format(INF_TOKEN_DRIVER_VERSION, "%d.%d.%d.%d", static_cast<int>(HIWORD(version.dwFileVersionMS)),
                   static_cast<int>(LOWORD(version.dwFileVersionMS)), static_cast<int>(HIWORD(version.dwFileVersionLS)),
                   static_cast<int>(LOWORD(version.dwFileVersionLS)));
  return WDI_ST_OK;
}

int substitute_template(const char* name, unique_malloc<char>& text) {
  char* raw = nullptr;
  int length = tokenize_template(name, &raw);
  text.reset(raw);
  if (length <= 0) {
    prepare_err("could not tokenize inf file (%d)", length);
    return WDI_ST_DENIED;
  }
  return WDI_ST_OK;
}

}  // namespace velmor::prepare
