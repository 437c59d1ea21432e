#include "engine/enumeration/device_key.h"

#include <setupapi.h>

#include "engine/common/status.h"
#include "engine/common/system.h"

namespace velmor::enumeration {

int open_device_key(const char* instance_id, DWORD which, const char* caller, unique_hkey* key) {
  if (instance_id == nullptr) return WDI_ST_BAD_PARAMETER;
  if (!required_import<imports::SetupDiCreateDeviceInfoList>(caller) ||
      !required_import<imports::SetupDiOpenDeviceInfoA>(caller) ||
      !required_import<imports::SetupDiOpenDevRegKey>(caller) ||
      !required_import<imports::SetupDiDestroyDeviceInfoList>(caller)) {
    return WDI_ST_NO_RESOURCE;
  }
  unique_device_set set(imports::SetupDiCreateDeviceInfoList()(nullptr, nullptr));
  if (!set) return WDI_ST_NO_RESOURCE;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  if (!imports::SetupDiOpenDeviceInfoA()(set.get(), instance_id, nullptr, 0, &device)) return WDI_ST_DEVICE_ABSENT;
  HKEY raw = imports::SetupDiOpenDevRegKey()(set.get(), &device, DICS_FLAG_GLOBAL, 0, which, KEY_READ);
  if (raw == INVALID_HANDLE_VALUE || raw == nullptr) return WDI_ST_DEVICE_ABSENT;
  key->reset(raw);
  return WDI_ST_OK;
}

}  // namespace velmor::enumeration
