// wdi_get_com_port: the "PortName" a serial driver writes into its device's hardware key.
#include "engine/enumeration/com_port.h"

#include <windows.h>
#include <setupapi.h>

#include <cstring>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/enumeration/device_key.h"
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
  velmor::unique_hkey key;
  int opened = velmor::enumeration::open_device_key(instance_id, DIREG_DEV, __func__, &key);
  if (opened != WDI_ST_OK) return opened;
  char name[kPortNameBytes];
  if (velmor::read_registry_string(key.get(), "PortName", name, sizeof(name)) != ERROR_SUCCESS || !is_port_name(name)) {
    return WDI_ST_DEVICE_ABSENT;
  }
  if (std::strlen(name) >= size) return WDI_ST_OVERRUN;
  std::memcpy(port, name, std::strlen(name) + 1);
  return WDI_ST_OK;
}
