#include "probe_lab.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "win/handles.h"

namespace velmor_lab {
namespace {

constexpr wchar_t kEnumRoot[] = L"System\\CurrentControlSet\\Enum";
constexpr wchar_t kClassRoot[] = L"System\\CurrentControlSet\\Control\\Class";
constexpr wchar_t kMark[] = L"VelmorLab";
constexpr wchar_t kBusDescKey[] = L"Properties\\{540b947e-8b40-45bc-a8a2-6a0b894cbda2}\\0004";
constexpr DWORD kStringPropertyType = 0xFFFF0012;  // how the registry holds a string device property
constexpr REGSAM kView = KEY_WOW64_64KEY;          // one view for the 32-bit and the 64-bit lab

using key = velmor::unique_hkey;

std::wstring wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

bool open(const std::wstring& path, key& out, REGSAM access = KEY_READ) {
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | kView, out.put()) == ERROR_SUCCESS;
}

bool create(const std::wstring& path, key& out) {
  return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr,
                           out.put(), nullptr) == ERROR_SUCCESS;
}

bool set_string(HKEY k, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
  return ::RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool set_multi(HKEY k, const wchar_t* name, const std::vector<std::string>& values) {
  std::wstring data;
  for (const std::string& v : values) {
    data += wide(v);
    data.push_back(L'\0');
  }
  data.push_back(L'\0');
  return ::RegSetValueExW(k, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool set_dword(HKEY k, const wchar_t* name, DWORD value) {
  return ::RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
         ERROR_SUCCESS;
}

std::wstring read_string(HKEY k, const wchar_t* name) {
  wchar_t buffer[512] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::wstring();
  return buffer;
}

bool is_marked(HKEY k) {
  DWORD value = 0, size = sizeof(value), type = 0;
  return ::RegQueryValueExW(k, kMark, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
         type == REG_DWORD && value == 1;
}

std::vector<std::wstring> subkeys(HKEY k) {
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    if (::RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, len);
  }
  return names;
}

// Deletes path (with its subkeys) and then its parent when nothing is left in it.
void delete_tree_and_empty_parent(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return;
  std::wstring parent_path = path.substr(0, slash);
  key parent;
  if (!open(parent_path, parent, KEY_ALL_ACCESS)) return;
  ::RegDeleteTreeW(parent.get(), path.substr(slash + 1).c_str());
  DWORD subkey_count = 0, value_count = 0;
  if (::RegQueryInfoKeyW(parent.get(), nullptr, nullptr, nullptr, &subkey_count, nullptr, nullptr, &value_count,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
      subkey_count == 0 && value_count == 0) {
    size_t up = parent_path.find_last_of(L'\\');
    key grandparent;
    if (up != std::wstring::npos && open(parent_path.substr(0, up), grandparent, KEY_ALL_ACCESS)) {
      parent.reset();
      ::RegDeleteKeyW(grandparent.get(), parent_path.substr(up + 1).c_str());
    }
  }
}

// A free "{class}\NNNN" driver key, created with the lab's mark.
std::wstring new_driver_key(const std::wstring& class_guid, const std::string& version, const std::string& provider) {
  for (int n = 0; n < 10000; ++n) {
    wchar_t number[8];
    std::swprintf(number, 8, L"%04d", n);
    std::wstring name = class_guid + L"\\" + number;
    key existing;
    if (open(std::wstring(kClassRoot) + L"\\" + name, existing)) continue;
    key k;
    if (!create(std::wstring(kClassRoot) + L"\\" + name, k)) return std::wstring();
    if (!set_dword(k.get(), kMark, 1)) return std::wstring();
    if (!version.empty() && !set_string(k.get(), L"DriverVersion", wide(version))) return std::wstring();
    if (!set_string(k.get(), L"ProviderName", wide(provider))) return std::wstring();
    return name;
  }
  return std::wstring();
}

std::wstring node_path(const std::string& instance_id) { return std::wstring(kEnumRoot) + L"\\" + wide(instance_id); }

// Removes a marked node and the driver key it names; false when there is no marked node.
bool remove_path(const std::wstring& path) {
  std::wstring driver;
  {
    key node;
    if (!open(path, node) || !is_marked(node.get())) return false;
    driver = read_string(node.get(), L"Driver");
  }
  delete_tree_and_empty_parent(path);
  if (!driver.empty()) delete_tree_and_empty_parent(std::wstring(kClassRoot) + L"\\" + driver);
  return true;
}

}  // namespace

bool plant(const node_spec& node) {
  if (node.instance_id.empty()) return false;
  std::wstring path = node_path(node.instance_id);
  {
    key existing;
    if (open(path, existing)) {
      if (!is_marked(existing.get())) return false;  // never touch a node the lab did not plant
    }
  }
  remove_path(path);

  key k;
  if (!create(path, k)) return false;
  bool ok = set_dword(k.get(), kMark, 1) && set_string(k.get(), L"ClassGUID", wide(node.class_guid)) &&
            set_dword(k.get(), L"ConfigFlags", 0) && set_string(k.get(), L"Mfg", L"Velmor");
  std::vector<std::string> hwids = node.hardware_ids;
  if (hwids.empty()) hwids.push_back(node.instance_id.substr(0, node.instance_id.find_last_of('\\')));
  if (!node.no_hardware_id) ok = ok && set_multi(k.get(), L"HardwareID", hwids);
  if (ok && !node.compatible_ids.empty()) ok = set_multi(k.get(), L"CompatibleIDs", node.compatible_ids);
  if (ok && !node.upper_filters.empty()) ok = set_multi(k.get(), L"UpperFilters", node.upper_filters);
  if (ok && !node.service.empty()) ok = set_string(k.get(), L"Service", wide(node.service));
  if (ok && !node.class_name.empty()) ok = set_string(k.get(), L"Class", wide(node.class_name));
  if (ok && !node.device_desc.empty()) ok = set_string(k.get(), L"DeviceDesc", wide(node.device_desc));
  if (ok && node.driver_key) {
    std::wstring driver = new_driver_key(wide(node.class_guid), node.driver_version, node.provider);
    ok = !driver.empty() && set_string(k.get(), L"Driver", driver);
  }
  if (ok && !node.port_name.empty()) {
    key parameters;
    ok = create(path + L"\\Device Parameters", parameters) && set_string(parameters.get(), L"PortName", wide(node.port_name));
  }
  if (ok && node.has_bus_desc) {
    key property;
    ok = create(path + L"\\" + kBusDescKey, property) &&
         set_string(property.get(), nullptr, wide(node.bus_desc), kStringPropertyType);
  }
  if (!ok) {
    k.reset();
    remove_path(path);
  }
  return ok;
}

bool remove(const std::string& instance_id) { return remove_path(node_path(instance_id)); }

std::vector<std::string> planted() {
  std::vector<std::string> ids;
  key root;
  if (!open(kEnumRoot, root)) return ids;
  for (const std::wstring& enumerator : subkeys(root.get())) {
    key e;
    if (!open(std::wstring(kEnumRoot) + L"\\" + enumerator, e)) continue;
    for (const std::wstring& device : subkeys(e.get())) {
      std::wstring device_path = std::wstring(kEnumRoot) + L"\\" + enumerator + L"\\" + device;
      key d;
      if (!open(device_path, d)) continue;
      for (const std::wstring& instance : subkeys(d.get())) {
        key node;
        if (open(device_path + L"\\" + instance, node) && is_marked(node.get()))
          ids.push_back(narrow(enumerator + L"\\" + device + L"\\" + instance));
      }
    }
  }
  return ids;
}

int clear() {
  int removed = 0;
  for (const std::string& id : planted()) {
    if (remove(id)) ++removed;
  }
  // Driver keys whose node went away another way.
  key classes;
  if (open(kClassRoot, classes)) {
    for (const std::wstring& guid : subkeys(classes.get())) {
      key c;
      if (!open(std::wstring(kClassRoot) + L"\\" + guid, c)) continue;
      for (const std::wstring& number : subkeys(c.get())) {
        std::wstring path = std::wstring(kClassRoot) + L"\\" + guid + L"\\" + number;
        key k;
        bool marked = open(path, k) && is_marked(k.get());
        k.reset();
        if (marked) delete_tree_and_empty_parent(path);
      }
    }
  }
  return removed;
}

std::string probe_parent_id(const std::string& instance) { return "USB\\VID_2E3C&PID_F000\\" + instance; }

std::string probe_interface_id(const std::string& instance, int number) {
  char id[160];
  std::snprintf(id, sizeof(id), "USB\\VID_2E3C&PID_F000&MI_%02d\\6&%s&0&%04d", number, instance.c_str(), number);
  return id;
}

std::string probe_key(const std::string& instance) { return "6&" + instance + "&0"; }

bool parse_driver_state(const std::string& text, interface_spec& out) {
  if (text == "none") {
    out.state = driver_state::none;
  } else if (text == "usbser") {
    out.state = driver_state::usbser;
  } else if (text == "winusb") {
    out.state = driver_state::winusb;
  } else if (text == "other") {
    out.state = driver_state::other;
  } else if (text.compare(0, 8, "service=") == 0 && text.size() > 8) {
    out.state = driver_state::custom;
    out.service = text.substr(8);
  } else {
    return false;
  }
  return true;
}

namespace {

node_spec interface_node(const probe_spec& probe, int number) {
  const interface_spec& mi = probe.mi[number];
  node_spec node;
  node.instance_id = probe_interface_id(probe.instance, number);
  char hw[96];
  std::snprintf(hw, sizeof(hw), "USB\\VID_2E3C&PID_F000&REV_0100&MI_%02d", number);
  node.hardware_ids = {hw, std::string(hw).erase(21, 9)};
  if (number == 3)
    node.compatible_ids = {"USB\\Class_FF&SubClass_00&Prot_00", "USB\\Class_FF&SubClass_00", "USB\\Class_FF"};
  else if (number == 0 || number == 4)
    node.compatible_ids = {"USB\\Class_02&SubClass_02&Prot_01", "USB\\Class_02&SubClass_02", "USB\\Class_02"};
  else
    node.compatible_ids = {"USB\\Class_0A&SubClass_00&Prot_00", "USB\\Class_0A&SubClass_00", "USB\\Class_0A"};
  if (!mi.first_compatible.empty()) node.compatible_ids.insert(node.compatible_ids.begin(), mi.first_compatible);
  node.port_name = mi.port;
  node.has_bus_desc = !probe.description.empty();
  node.bus_desc = probe.description;
  switch (mi.state) {
    case driver_state::none:
      node.class_guid = "{4D36E97E-E325-11CE-BFC1-08002BE10318}";  // unknown devices
      break;
    case driver_state::usbser:
      node.class_guid = kPortsClass;
      node.class_name = "Ports";
      node.service = "usbser";
      node.device_desc = "USB Serial Device";
      break;
    case driver_state::winusb:
      node.class_guid = kUsbDeviceClass;
      node.class_name = "USBDevice";
      node.service = "WinUSB";
      node.device_desc = "WinUsb Device";
      break;
    case driver_state::other:
      node.service = "velmorvendor";
      node.device_desc = "Vendor Device";
      break;
    case driver_state::custom:
      node.service = mi.service;
      node.device_desc = "Vendor Device";
      break;
  }
  if (mi.state != driver_state::none) {
    node.driver_key = true;
    node.driver_version = probe.driver_version;
    node.provider = probe.provider;
  }
  return node;
}

}  // namespace

bool plant_probe(const probe_spec& probe) {
  if (probe.instance.empty()) return false;
  if (probe.parent) {
    node_spec parent;
    parent.instance_id = probe_parent_id(probe.instance);
    parent.class_name = "USB";
    parent.service = "usbccgp";
    parent.driver_key = true;
    parent.driver_version = "10.0.19041.1";
    parent.device_desc = "USB Composite Device";
    parent.has_bus_desc = !probe.description.empty();
    parent.bus_desc = probe.description;
    parent.hardware_ids = {"USB\\VID_2E3C&PID_F000&REV_0100", "USB\\VID_2E3C&PID_F000"};
    parent.compatible_ids = {"USB\\DevClass_EF&SubClass_02&Prot_01", "USB\\DevClass_EF&SubClass_02",
                             "USB\\DevClass_EF", "USB\\COMPOSITE"};
    if (!plant(parent)) return false;
  }
  for (int n = 0; n < 5; ++n) {
    if (probe.mi[n].present && !plant(interface_node(probe, n))) return false;
  }
  return true;
}

bool unplug_probe(const std::string& instance) {
  bool any = remove(probe_parent_id(instance));
  for (int n = 0; n < 5; ++n) any = remove(probe_interface_id(instance, n)) || any;
  return any;
}

}  // namespace velmor_lab
