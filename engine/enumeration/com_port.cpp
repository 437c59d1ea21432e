// wdi_get_com_port: the "PortName" a serial driver writes into its device's hardware key.
#include "engine/enumeration/com_port.h"

#include <windows.h>
#include <setupapi.h>

#include <cstring>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/common/system.h"
#include "win/handles.h"
#include "win/registry.h"

namespace {

// "COM" and up to three digits on Windows; a port name beyond this is no port name of a serial
// driver, and the command line's lines and JSON keep their bounded size.
constexpr DWORD kPortNameBytes = 16;

// Anything but a port name ("COM" and digits) is not reported: the value is written by whatever
// driver the device has, and the command line prints it into JSON and scripts' parsers.
bool is_port_name(const char* name) {
  if (std::strncmp(name, "COM", 3) != 0 || name[3] == '\0') return false;
  for (const char* p = name + 3; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  return true;
}

}  // namespace

extern "C" int wdi_get_com_port(const char* instance_id, char* port, size_t size) {
  if (instance_id == nullptr || port == nullptr || size == 0) return WDI_ST_BAD_PARAMETER;
  port[0] = '\0';
  namespace imports = velmor::imports;
  if (!required_import(__func__, imports::SetupDiCreateDeviceInfoList(), imports::SetupDiCreateDeviceInfoList_origin) ||
      !required_import(__func__, imports::SetupDiOpenDeviceInfoA(), imports::SetupDiOpenDeviceInfoA_origin) ||
      !required_import(__func__, imports::SetupDiOpenDevRegKey(), imports::SetupDiOpenDevRegKey_origin) ||
      !required_import(__func__, imports::SetupDiDestroyDeviceInfoList(),
                       imports::SetupDiDestroyDeviceInfoList_origin)) {
    return WDI_ST_NO_RESOURCE;
  }
  velmor::unique_device_set set(imports::SetupDiCreateDeviceInfoList()(nullptr, nullptr));
  if (!set) return WDI_ST_NO_RESOURCE;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  if (!imports::SetupDiOpenDeviceInfoA()(set.get(), instance_id, nullptr, 0, &device)) return WDI_ST_DEVICE_ABSENT;
  HKEY raw = imports::SetupDiOpenDevRegKey()(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (raw == INVALID_HANDLE_VALUE || raw == nullptr) return WDI_ST_DEVICE_ABSENT;
  velmor::unique_hkey key(raw);
  char name[kPortNameBytes];
  if (velmor::read_registry_string(key.get(), "PortName", name, sizeof(name)) != ERROR_SUCCESS || !is_port_name(name)) {
    return WDI_ST_DEVICE_ABSENT;
  }
  if (std::strlen(name) >= size) return WDI_ST_OVERRUN;
  std::memcpy(port, name, std::strlen(name) + 1);
  return WDI_ST_OK;
}
