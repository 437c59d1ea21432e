// The virtual probe lab: plants and removes USB device nodes in the registry of the Wine prefix the
// way Windows keeps them, so that SetupAPI lists them as present devices ("plugged in") until they
// are removed ("unplugged"). A node added or removed while a program runs is seen at that
// program's next enumeration.
//
// What one planted node is:
//   HKLM\System\CurrentControlSet\Enum\<instance ID>
//       ClassGUID (always; nodes without one are not enumerated), HardwareID / CompatibleIDs /
//       UpperFilters (multi-strings), Service, Driver ("{class guid}\NNNN"), DeviceDesc, Class, Mfg,
//       ConfigFlags, and the lab's mark "VelmorLab" (DWORD 1)
//       Properties\{540b947e-8b40-45bc-a8a2-6a0b894cbda2}\0004  the text the device reports about
//       itself, typed 0xFFFF0012 (a string device property)
//       Device Parameters  PortName (optional: the COM port of a serial interface)
//   HKLM\System\CurrentControlSet\Control\Class\<Driver>   DriverVersion (optional), ProviderName, the lab's mark
// Only marked nodes and driver keys are ever removed; clear() removes them all, together with the
// driver keys that marked nodes point at (a real installation may have replaced them).
//
// A probe: vendor 0x2E3C, product 0xF000, instance part P (e.g. "1A2B3C4D"):
//   parent     USB\VID_2E3C&PID_F000\P                       service usbccgp, driver key
//   interface  USB\VID_2E3C&PID_F000&MI_0n\6&P&0&000n        n = 0..4, each with its driver state
// so all its interfaces share the probe key "6&P&0".
//
// Command line (probe_lab.exe, built in both Windows trees; exit code 0 on success, 1 on failure,
// 2 on a usage error):
//   probe_lab plant-probe --instance P [--mi0 S] [--mi1 S] ... [--mi4 S] [--mi3-compat ID] [--port0 COMn] [--port4 COMn]
//                          [--absent N]... [--no-parent] [--desc TEXT] [--version V]
//        S: none | usbser | winusb | other | service=NAME (a driver key with that service)
//        defaults: every interface "none"; --mi3-compat gives interface 3 the compatible ID
//        "USB\<ID>" first (e.g. MS_COMP_WINUSB); --absent leaves interface N out
//   probe_lab unplug --instance P             removes the probe's parent and interfaces
//   probe_lab plant --id INSTANCE_ID [--service NAME] [--driver] [--version V] [--desc TEXT]
//                   [--bus-desc TEXT] [--hwid ID]... [--compat ID]... [--upper NAME]...
//                   [--class-guid GUID] [--no-hwid]
//        any node: hubs (USB\ROOT_HUB30\... with --service usbhub3; USB\VID_xxxx&PID_xxxx\...
//        with --service usbhub), unrelated devices, broken entries (no or non-hex VID, no
//        description, --driver without --version). --hwid defaults to the ID without its instance
//        part.
//   probe_lab remove --id INSTANCE_ID
//   probe_lab clear                           removes every lab node; prints how many
//   probe_lab list                            prints the lab's nodes, one instance ID a line
#pragma once

#include <string>
#include <vector>

namespace velmor_lab {

constexpr const char* kUsbClass = "{36FC9E60-C465-11CF-8056-444553540000}";
constexpr const char* kPortsClass = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kUsbDeviceClass = "{88BAE032-5A81-49F0-BC3D-A4FF138216D6}";

// One device node. Empty strings and lists are not written.
struct node_spec {
  std::string instance_id;  // e.g. USB\VID_2E3C&PID_F000&MI_03\6&1A2B3C4D&0&0003
  std::string class_guid = kUsbClass;
  std::string class_name;
  std::string service;
  bool driver_key = false;     // a driver key ("Driver" value and its Class key)
  std::string driver_version;  // "DriverVersion" in the driver key, when there is one
  std::string provider = "Velmor probe lab";  // "ProviderName" in the driver key
  std::string device_desc;     // UTF-8
  bool has_bus_desc = false;
  std::string bus_desc;        // UTF-8; written when has_bus_desc
  std::vector<std::string> hardware_ids;  // empty: the instance ID without its instance part
  bool no_hardware_id = false;            // writes no "HardwareID" at all
  std::vector<std::string> compatible_ids;
  std::vector<std::string> upper_filters;
  std::string port_name;  // "PortName" in the node's "Device Parameters" (a serial driver's COM port)
};

// Plants (or replaces) a node. False when a registry write failed.
bool plant(const node_spec& node);
// Removes a node planted by the lab, and its driver key. False when no such lab node exists.
bool remove(const std::string& instance_id);
// Removes every lab node and lab driver key; returns the number of nodes removed.
int clear();
// The instance IDs of the lab's nodes.
std::vector<std::string> planted();

enum class driver_state { none, usbser, winusb, other, custom };

struct interface_spec {
  bool present = true;
  driver_state state = driver_state::none;
  std::string service;          // for custom: the service name to write
  std::string first_compatible;  // when set, the first compatible ID (e.g. USB\MS_COMP_WINUSB)
  std::string port;              // when set, the COM port its serial driver gave it (e.g. COM3)
};

struct probe_spec {
  std::string instance;  // the instance part, e.g. 1A2B3C4D
  bool parent = true;    // the composite parent node
  interface_spec mi[5];
  std::string description = "Korvex";  // bus-reported text of every node
  std::string driver_version = "1.0.0.1";
  std::string provider = "Velmor probe lab";  // of every interface's driver ("Velmor": our packages')
};

// The instance ID of interface n of a probe, and the key all its interfaces share.
std::string probe_interface_id(const std::string& instance, int number);
std::string probe_parent_id(const std::string& instance);
std::string probe_key(const std::string& instance);

bool plant_probe(const probe_spec& probe);
// Removes the probe's parent and interfaces; false when none of them was there.
bool unplug_probe(const std::string& instance);

// Parses "none", "usbser", "winusb", "other" or "service=NAME"; false for anything else.
bool parse_driver_state(const std::string& text, interface_spec& out);

}  // namespace velmor_lab
