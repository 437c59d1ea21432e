// wdi_create_list, wdi_destroy_list, free_device_entry: the USB devices and interfaces present on
// the machine, one entry per device node of the "USB" enumerator.
#include "engine/enumeration/device_list.h"

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <devpropdef.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/squatted_mutex.h"
#include "engine/common/status.h"
#include "engine/common/system.h"
#include "engine/common/utf8.h"
#include "engine/common/windows_version.h"
#include "engine/enumeration/config_manager.h"
#include "win/handles.h"
#include "win/lock.h"
#include "win/registry.h"

const char* const hub_service_names[WDI_HUB_SERVICE_COUNT] = {
    "usbhub",   "usbhub3",  "usb3hub",  "nusb3hub", "rusb3hub", "flxhcih",  "tihub3",
    "etronhub3", "viahub3", "asmthub3", "iusb3hub", "vusb3hub", "amdhub30", "vhhub"};

extern "C" void free_device_entry(struct wdi_device_entry* entry) {
  if (entry == nullptr) return;
  std::free(entry->description);
  std::free(entry->service_name);
  std::free(entry->instance_id);
  std::free(entry->first_hardware_id);
  std::free(entry->first_compatible_id);
  std::free(entry->first_upper_filter);
  std::free(entry);
}

namespace {

constexpr char kCreate[] = "wdi_create_list";

// SetupAPI is no known DLL on XP and Server 2003: taken from the system folder at run time, never
// from beside the program. True when every entry point of the enumeration is there (each missing
// one logged).
bool setup_api_ready() {
  namespace imports = velmor::imports;
  bool ready = required_import<imports::SetupDiGetClassDevsA>(kCreate) != nullptr;
  ready = required_import<imports::SetupDiEnumDeviceInfo>(kCreate) && ready;
  ready = required_import<imports::SetupDiGetDeviceRegistryPropertyA>(kCreate) && ready;
  ready = required_import<imports::SetupDiGetDeviceRegistryPropertyW>(kCreate) && ready;
  ready = required_import<imports::SetupDiOpenDevRegKey>(kCreate) && ready;
  return required_import<imports::SetupDiDestroyDeviceInfoList>(kCreate) && ready;
}
// Limits of the data: longer properties count as unreadable.
constexpr DWORD kPropertyBytes = 256;
constexpr size_t kDescriptionUnits = 256;
constexpr DWORD kVersionBytes = 24;  // "xxxxx.xxxxx.xxxxx.xxxxx" and terminator

const DEVPROPKEY kBusReportedDeviceDesc = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

using entry_ptr = velmor::unique_resource<wdi_device_entry*, free_device_entry, nullptr>;

void free_entries(wdi_device_entry* head) {
  while (head != nullptr) {
    wdi_device_entry* next = head->next_entry;
    free_device_entry(head);
    head = next;
  }
}

// An 8-bit property (the first string of a multi-string); false when missing or too long.
bool read_property(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, char (&buffer)[kPropertyBytes]) {
  std::memset(buffer, 0, sizeof(buffer));
  auto get_property = velmor::imports::SetupDiGetDeviceRegistryPropertyA();
  if (!get_property(set, device, property, nullptr, reinterpret_cast<BYTE*>(buffer), sizeof(buffer), nullptr))
    return false;
  buffer[kPropertyBytes - 1] = '\0';  // a value stored without terminator
  return true;
}

// "DriverVersion" of the device's driver key; left empty when unreadable or too long.
void read_driver_version(HDEVINFO set, SP_DEVINFO_DATA* device, char (&version)[kVersionBytes]) {
  std::memset(version, 0, sizeof(version));
  HKEY raw = velmor::imports::SetupDiOpenDevRegKey()(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
  if (raw == INVALID_HANDLE_VALUE || raw == nullptr) return;
  velmor::unique_hkey key(raw);
  velmor::read_registry_string(key.get(), "DriverVersion", version, sizeof(version));
}

// Each full stop separates a 16-bit piece; only the last four pieces survive the shifts.
uint64_t pack_driver_version(const char* text) {
  uint64_t version = 0;
  const char* p = text;
  while (*p != '\0') {
    if (*p == '.') {
      ++p;
      continue;
    }
    char* end = nullptr;
    long long value = std::strtoll(p, &end, 10);
    int32_t piece = static_cast<int32_t>(static_cast<uint32_t>(value));
    version = (version << 16) + static_cast<uint64_t>(static_cast<int64_t>(piece));
    const char* dot = std::strchr(p, '.');
    p = dot != nullptr ? dot : p + std::strlen(p);
  }
  return version;
}

bool is_hub_service(const char* service) {
  if (service == nullptr) return false;
  for (const char* hub : hub_service_names) {
    if (::_stricmp(service, hub) == 0) return true;
  }
  return false;
}

bool read_device_desc(HDEVINFO set, SP_DEVINFO_DATA* device, wchar_t (&text)[kDescriptionUnits]) {
  std::memset(text, 0, sizeof(text));
  auto get_property = velmor::imports::SetupDiGetDeviceRegistryPropertyW();
  return get_property(set, device, SPDRP_DEVICEDESC, nullptr, reinterpret_cast<BYTE*>(text), sizeof(text),
                      nullptr) != FALSE;
}

// The display text: what the device reports itself from Windows 7 on, else the driver's text,
// else "Unknown Device #n" with the call's counter of unnamed devices.
void read_description(HDEVINFO set, SP_DEVINFO_DATA* device, int device_number, int& unnamed,
                      wchar_t (&text)[kDescriptionUnits]) {
  std::memset(text, 0, sizeof(text));
  if (windows_version_code == -1) detect_windows_version();
  bool found = false;
  if (windows_version_code >= 0x61) {
    auto get_property = velmor::imports::SetupDiGetDevicePropertyW();
    if (get_property == nullptr) {
      engine_log(LOG_WARNING, kCreate, "failed to locate SetupDiGetDevicePropertyW() in Setupapi.dll");
      return;
    }
    DEVPROPTYPE type = 0;
    found = get_property(set, device, &kBusReportedDeviceDesc, &type, reinterpret_cast<BYTE*>(text), sizeof(text),
                         nullptr, 0) != FALSE;
    if (!found) found = read_device_desc(set, device, text);
  } else {
    found = read_device_desc(set, device, text);
  }
  if (found) {
    text[kDescriptionUnits - 1] = L'\0';
    return;
  }
  engine_log(windows_version_code >= 0x61 ? LOG_DEBUG : LOG_WARNING, kCreate,
             "could not read device description for %d: %s", device_number, windows_error_text(0));
  std::memset(text, 0, sizeof(text));
  std::swprintf(text, kDescriptionUnits, L"Unknown Device #%d", unnamed++);
}

// Fills the IDs from the instance ID's "VID_", "PID_" and "MI_" parts; each interface part adds
// its suffix to the description. Returns whether a "VID_" part was seen.
bool scan_instance_ids(const char* instance_id, wdi_device_entry* entry, wchar_t (&description)[kDescriptionUnits]) {
  entry->is_interface = 0;
  entry->interface_number = 0;
  bool vid_seen = false;
  const char* p = instance_id;
  while (*p != '\0') {
    size_t len = std::strcspn(p, "\\#&");
    char piece[kPropertyBytes] = {};
    std::snprintf(piece, sizeof(piece), "%.*s", static_cast<int>(len), p);
    unsigned value = 0;
    if (std::strncmp(piece, "VID_", 4) == 0) {
      if (std::sscanf(piece, "VID_%04X", &value) == 1)
        entry->vendor_id = static_cast<uint16_t>(value);
      else
        engine_log(LOG_ERROR, kCreate, "could not convert VID string");
      vid_seen = true;
    } else if (std::strncmp(piece, "PID_", 4) == 0) {
      if (std::sscanf(piece, "PID_%04X", &value) == 1)
        entry->product_id = static_cast<uint16_t>(value);
      else
        engine_log(LOG_ERROR, kCreate, "could not convert PID string");
    } else if (std::strncmp(piece, "MI_", 3) == 0) {
      if (std::sscanf(piece, "MI_%02X", &value) == 1) {
        entry->is_interface = 1;
        entry->interface_number = static_cast<uint8_t>(value);
        size_t used = std::wcslen(description);
        if (used + 17 < kDescriptionUnits)
          std::swprintf(description + used, 17, L" (Interface %d)", static_cast<int>(entry->interface_number));
      } else {
        engine_log(LOG_ERROR, kCreate, "could not convert MI string");
      }
    }
    p += len;
    if (*p != '\0') ++p;
  }
  return vid_seen;
}

void trim_trailing_space(char* text) {
  size_t len = std::strlen(text);
  while (len > 0 && std::strchr(" \t\n\v\f\r", text[len - 1]) != nullptr) text[--len] = '\0';
}

enum class outcome { listed, skipped, out_of_memory };

// Builds one entry from the device at list index `number`; the entry is appended by the caller.
outcome build_entry(HDEVINFO set, SP_DEVINFO_DATA* device, int number, const wdi_list_options& options,
                    int& unnamed, wdi_device_entry* entry) {
  char property[kPropertyBytes];
  char version[kVersionBytes] = {};
  if (read_property(set, device, SPDRP_DRIVER, property)) {
    if (!options.include_installed) return outcome::skipped;
    read_driver_version(set, device, version);
  }

  if (read_property(set, device, SPDRP_SERVICE, property)) {
    entry->service_name = ::_strdup(property);
    if (entry->service_name == nullptr) return outcome::out_of_memory;
  }
  bool hub = is_hub_service(entry->service_name);
  if (hub && !options.include_hubs) return outcome::skipped;
  bool composite_parent = entry->service_name != nullptr && ::_stricmp(entry->service_name, "usbccgp") == 0;
  if (composite_parent && !options.include_hubs) return outcome::skipped;

  if (read_property(set, device, SPDRP_HARDWAREID, property)) {
    engine_log(LOG_DEBUG, kCreate, "Hardware ID: %s", property);
  } else {
    engine_log(LOG_ERROR, kCreate, "could not get hardware ID");
    property[0] = '\0';
  }
  entry->first_hardware_id = ::_strdup(property);
  if (entry->first_hardware_id == nullptr) return outcome::out_of_memory;

  if (read_property(set, device, SPDRP_COMPATIBLEIDS, property))
    engine_log(LOG_DEBUG, kCreate, "Compatible ID: %s", property);
  else
    property[0] = '\0';
  entry->first_compatible_id = ::_strdup(property);
  if (entry->first_compatible_id == nullptr) return outcome::out_of_memory;

  if (read_property(set, device, SPDRP_UPPERFILTERS, property)) {
    engine_log(LOG_DEBUG, kCreate, "Upper filter: %s", property);
    entry->first_upper_filter = ::_strdup(property);
    if (entry->first_upper_filter == nullptr) return outcome::out_of_memory;
  }

  entry->installed_version = 0;
  if (version[0] != '\0') {
    engine_log(LOG_DEBUG, kCreate, "Driver version: %s", version);
    entry->installed_version = pack_driver_version(version);
  } else if (entry->service_name != nullptr) {
    engine_log(LOG_WARNING, kCreate, "could not read driver version");
  }

  CONFIGRET cr = velmor::imports::CM_Get_Device_IDA()(device->DevInst, property, kPropertyBytes, 0);
  if (cr != CR_SUCCESS) {
    engine_log(LOG_ERROR, kCreate, "could not retrieve simple path for device %d: CR error %d", number,
               static_cast<int>(cr));
    return outcome::skipped;
  }
  property[kPropertyBytes - 1] = '\0';
  engine_log(LOG_DEBUG, kCreate, "%s USB device (%d): %s",
             entry->service_name != nullptr ? entry->service_name : "Driverless", number, property);
  entry->instance_id = ::_strdup(property);
  if (entry->instance_id == nullptr) return outcome::out_of_memory;

  wchar_t description[kDescriptionUnits];
  read_description(set, device, number, unnamed, description);
  bool vid_seen = scan_instance_ids(entry->instance_id, entry, description);
  if (hub && !vid_seen) return outcome::skipped;  // a root hub
  if (composite_parent) {
    size_t used = std::wcslen(description);
    if (used + 20 < kDescriptionUnits) std::wcscat(description, L" (Composite Parent)");
  }
  if (description[0] != L'\0') {
    entry->description = utf16_to_utf8(description);
    if (entry->description == nullptr) return outcome::out_of_memory;
    if (options.trim_description) trim_trailing_space(entry->description);
  }
  engine_log(LOG_DEBUG, kCreate, "Device description: '%s'",
             entry->description != nullptr ? entry->description : "(null)");
  return outcome::listed;
}

}  // namespace

extern "C" int wdi_create_list(struct wdi_device_entry** list, const struct wdi_list_options* options) {
  if (list == nullptr) return WDI_ST_BAD_PARAMETER;
  char mutex_name[26];
  std::snprintf(mutex_name, sizeof(mutex_name), "Global\\%s", kCreate);
  velmor::operation_mutex busy(mutex_name);
  if (busy.busy()) log_squatted_mutex(kCreate, mutex_name);
  if (!busy.acquired()) return busy.busy() ? WDI_ST_IN_USE : WDI_ST_NO_RESOURCE;

  *list = nullptr;
  if (!init_dlls() || !setup_api_ready()) return WDI_ST_NO_RESOURCE;
  const wdi_list_options flags = options != nullptr ? *options : wdi_list_options{0, 0, 0};

  velmor::unique_device_set device_set(
      velmor::imports::SetupDiGetClassDevsA()(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
  if (!device_set) return WDI_ST_DEVICE_ABSENT;
  HDEVINFO set = device_set.get();

  wdi_device_entry* head = nullptr;
  wdi_device_entry* tail = nullptr;
  int unnamed = 1;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  for (DWORD index = 0; velmor::imports::SetupDiEnumDeviceInfo()(set, index, &device); ++index) {
    entry_ptr entry(static_cast<wdi_device_entry*>(std::calloc(1, sizeof(wdi_device_entry))));
    outcome result = entry ? build_entry(set, &device, static_cast<int>(index), flags, unnamed, entry.get())
                           : outcome::out_of_memory;
    if (result == outcome::out_of_memory) {
      free_entries(head);
      return WDI_ST_NO_RESOURCE;
    }
    if (result == outcome::skipped) continue;
    wdi_device_entry* listed = entry.release();
    if (tail == nullptr)
      head = listed;
    else
      tail->next_entry = listed;
    tail = listed;
  }

  *list = head;
  return head != nullptr ? WDI_ST_OK : WDI_ST_DEVICE_ABSENT;
}

extern "C" int wdi_destroy_list(struct wdi_device_entry* list) {
  char mutex_name[27];
  std::snprintf(mutex_name, sizeof(mutex_name), "Global\\%s", "wdi_destroy_list");
  velmor::operation_mutex busy(mutex_name);
  if (busy.busy()) log_squatted_mutex("wdi_destroy_list", mutex_name);
  if (!busy.acquired()) return busy.busy() ? WDI_ST_IN_USE : WDI_ST_NO_RESOURCE;
  free_entries(list);
  return WDI_ST_OK;
}
