#include "win/driver_removal.h"

#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "protocol/status.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/utf8.h"

namespace velmor {
namespace {

// setupapi.h's ERROR_IN_WOW64, which older headers lack.
constexpr DWORD kErrorInWow64 = 0xE0000235;

class reporter {
 public:
  explicit reporter(removal_log log) : log_(log) {}
  void operator()(int level, const char* format, ...) const {
    if (log_ == nullptr) return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    line[sizeof(line) - 1] = '\0';
    log_(level, line);
  }
  // "[code] text" of a Windows error, into `text`.
  static const char* error_text(DWORD code, char (&text)[256]) {
    DWORD lookup = (code & 0xE0000000u) == 0xE0000000u ? (0x800F0000u | (code & 0xFFFF)) : code;
    int used = std::snprintf(text, sizeof(text), "[0x%lX] ", static_cast<unsigned long>(code));
    if (used < 0 || used >= static_cast<int>(sizeof(text))) used = 0;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, lookup, 0,
                               text + used, static_cast<DWORD>(sizeof(text) - used), nullptr);
    text[sizeof(text) - 1] = '\0';
    while (n > 0 && (text[used + n - 1] == '\n' || text[used + n - 1] == '\r')) text[used + --n] = '\0';
    return text;
  }

 private:
  removal_log log_;
};

// "<windows>\inf\<name>", or false when it would not fit. The system's folder, not a per-user one
// that GetWindowsDirectory gives in some terminal-server sessions.
bool inf_path(const wchar_t* name, wchar_t (&path)[MAX_PATH]) {
  UINT n = ::GetSystemWindowsDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  int written = std::swprintf(path + n, MAX_PATH - n, L"\\inf\\%ls", name);
  return written > 0 && static_cast<UINT>(written) < MAX_PATH - n;
}

// The InfPath of a device's driver key: the published INF it was installed from.
bool driver_inf_of(HDEVINFO set, SP_DEVINFO_DATA* device, wchar_t (&name)[MAX_PATH]) {
  auto open_key = imports::SetupDiOpenDevRegKey();
  if (open_key == nullptr) return false;
  HKEY raw = open_key(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
  if (raw == INVALID_HANDLE_VALUE || raw == nullptr) return false;
  unique_hkey key(raw);
  DWORD type = 0;
  DWORD size = sizeof(name) - sizeof(wchar_t);
  name[0] = L'\0';
  if (::RegQueryValueExW(key.get(), L"InfPath", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  name[size / sizeof(wchar_t)] = L'\0';
  return true;
}

struct devices_taken_off {
  int removed = 0;
  bool in_wow64 = false;
};

// Uninstalls every device whose driver came from `published`. Stops at the first ERROR_IN_WOW64:
// every other device would answer the same.
devices_taken_off take_devices_off(const wchar_t* published, const reporter& report) {
  devices_taken_off result;
  auto get_devices = imports::SetupDiGetClassDevsA();
  auto enum_device = imports::SetupDiEnumDeviceInfo();
  auto call_installer = imports::SetupDiCallClassInstaller();
  auto instance_id = imports::SetupDiGetDeviceInstanceIdA();
  if (get_devices == nullptr || enum_device == nullptr || call_installer == nullptr) return result;
  unique_device_set set(get_devices(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
  if (!set) return result;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  for (DWORD i = 0; enum_device(set.get(), i, &device); ++i) {
    wchar_t inf[MAX_PATH];
    if (!driver_inf_of(set.get(), &device, inf) || _wcsicmp(inf, published) != 0) continue;
    char id[MAX_DEVICE_ID_LEN] = {};
    if (instance_id == nullptr || !instance_id(set.get(), &device, id, sizeof(id), nullptr)) id[0] = '\0';
    id[sizeof(id) - 1] = '\0';
    if (call_installer(DIF_REMOVE, set.get(), &device)) {
      report(removal_info, "uninstalled device %s, which used the package", id);
      ++result.removed;
      continue;
    }
    DWORD error = ::GetLastError();
    char text[256];
    report(removal_warning, "could not uninstall device %s: %s", id, reporter::error_text(error, text));
    if (error == kErrorInWow64) {
      result.in_wow64 = true;
      break;
    }
  }
  return result;
}

void reenumerate_tree() {
  auto locate = imports::CM_Locate_DevNodeA();
  auto reenumerate = imports::CM_Reenumerate_DevNode();
  DEVINST root = 0;
  if (locate == nullptr || reenumerate == nullptr || locate(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
    return;
  }
  reenumerate(root, CM_REENUMERATE_SYNCHRONOUS);
}

}  // namespace

removal_outcome remove_published_package(const char* published, removal_log log) {
  const reporter report(log);
  removal_outcome outcome;
  unique_malloc<wchar_t> name(published != nullptr ? to_utf16(published) : nullptr);
  // A published name is a bare file name: nothing outside the INF folder can be named.
  if (!name || name.get()[0] == L'\0' || std::wcspbrk(name.get(), L"\\/:") != nullptr) {
    outcome.status = WDI_ST_BAD_PARAMETER;
    return outcome;
  }
  wchar_t path[MAX_PATH];
  if (!inf_path(name.get(), path)) {
    outcome.status = WDI_ST_OVERRUN;
    return outcome;
  }
  char text[256];
  if (auto uninstall = imports::DiUninstallDriverW()) {
    BOOL restart = FALSE;
    if (uninstall(nullptr, path, 0, &restart)) {
      report(removal_info, "removed %s from the driver store", published);
      outcome.restart = restart != FALSE;
      return outcome;
    }
    DWORD error = ::GetLastError();
    report(removal_warning, "DiUninstallDriverW failed for %s: %s", published, reporter::error_text(error, text));
    if (error == kErrorInWow64) {
      outcome.in_wow64 = true;
      outcome.status = WDI_ST_WRONG_BITNESS;
      return outcome;
    }
  }

  auto uninstall_inf = imports::SetupUninstallOEMInfW();
  if (uninstall_inf == nullptr) {
    report(removal_error, "SetupUninstallOEMInfW not available");
    outcome.status = WDI_ST_UNSUPPORTED;
    return outcome;
  }
  devices_taken_off devices = take_devices_off(name.get(), report);
  if (devices.in_wow64) {
    if (devices.removed > 0) reenumerate_tree();
    outcome.in_wow64 = true;
    outcome.status = WDI_ST_WRONG_BITNESS;
    return outcome;
  }
  if (!uninstall_inf(name.get(), SUOI_FORCEDELETE, nullptr)) {
    DWORD error = ::GetLastError();
    report(removal_error, "could not remove %s from the driver store: %s", published, reporter::error_text(error, text));
    if (devices.removed > 0) reenumerate_tree();
    outcome.status = driver_store_status_of(error);
    return outcome;
  }
  report(removal_info, "removed %s from the driver store", published);
  if (devices.removed > 0) reenumerate_tree();
  return outcome;
}

int driver_store_status_of(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED: return WDI_ST_DENIED;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return WDI_ST_MISSING;
    case ERROR_SHARING_VIOLATION: return WDI_ST_IN_USE;
    case kErrorInWow64: return WDI_ST_WRONG_BITNESS;
    default: return WDI_ST_OTHER;
  }
}

}  // namespace velmor
