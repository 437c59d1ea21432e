// wdi_device_has_own_driver: whether a device's driver is one of our packages, by the provider
// its driver key names (the device installer copies it from the INF's [Version]).
#include <windows.h>
#include <setupapi.h>

#include <cstring>

#include "engine/common/status.h"
#include "engine/enumeration/device_key.h"
#include "engine/store/driver_store.h"
#include "win/registry.h"

extern "C" int wdi_device_has_own_driver(const char* instance_id) {
  velmor::unique_hkey key;
  int opened = velmor::enumeration::open_device_key(instance_id, DIREG_DRV, __func__, &key);
  if (opened == WDI_ST_DEVICE_ABSENT) return 0;  // no driver key: no driver of ours
  if (opened != WDI_ST_OK) return opened;
  char provider[64];
  if (velmor::read_registry_string(key.get(), "ProviderName", provider, sizeof(provider)) != ERROR_SUCCESS) return 0;
  return ::_stricmp(provider, WDI_DRIVER_PROVIDER) == 0 ? 1 : 0;
}
