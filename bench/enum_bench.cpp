// The cost of one refresh's enumeration (wdi_create_list + wdi_destroy_list, every option set)
// against its floor: a bare walk of the same device set that reads exactly the properties the
// enumeration reads (driver key and its version, service, hardware, compatible and filter IDs,
// instance ID, bus-reported description), so that the ratio is the engine's own overhead. A walk
// that only reads each instance ID is printed beside it.
//   enum_bench [iterations] [device counts...]      default: 40 iterations, 10 and 100 devices
// Plants its own device nodes through the probe lab (instance parts BENCHnnnn) and removes them at
// the end; run it while no device test runs. Prints the median and the fastest run of each side and
// their ratios.
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <devpropdef.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "engine/common/status.h"
#include "engine/enumeration/device_list.h"
#include "probe_lab.h"

namespace {

using bench::median;
using bench::now_ms;

// A probe interface with its driver installed, as a refresh meets it.
std::string plant_device(int n) {
  char instance[16];
  std::snprintf(instance, sizeof(instance), "BENCH%04d", n);
  int mi = n % 5;
  velmor_lab::node_spec node;
  node.instance_id = velmor_lab::probe_interface_id(instance, mi);
  node.class_guid = velmor_lab::kPortsClass;
  node.class_name = "Ports";
  node.service = "usbser";
  node.driver_key = true;
  node.driver_version = "10.0.19041.1";
  node.device_desc = "USB Serial Device";
  node.has_bus_desc = true;
  node.bus_desc = "Korvex";
  node.compatible_ids = {"USB\\Class_02&SubClass_02&Prot_01", "USB\\Class_02&SubClass_02", "USB\\Class_02"};
  if (!velmor_lab::plant(node)) {
    std::fprintf(stderr, "enum_bench: cannot plant %s\n", node.instance_id.c_str());
    std::exit(1);
  }
  return node.instance_id;
}

using get_property_fn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, DWORD,
                                     PDWORD, DWORD);

get_property_fn get_device_property() {
  static const get_property_fn fn = reinterpret_cast<get_property_fn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("setupapi.dll"), "SetupDiGetDevicePropertyW")));
  return fn;
}

const DEVPROPKEY kBusReportedDeviceDesc = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

bool property(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD which, char (&buffer)[256]) {
  return ::SetupDiGetDeviceRegistryPropertyA(set, device, which, nullptr, reinterpret_cast<BYTE*>(buffer),
                                             sizeof(buffer), nullptr) != FALSE;
}

// The floor: the reads the enumeration makes for each device, and nothing around them.
int property_walk() {
  HDEVINFO set = ::SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return 0;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  char text[256];
  wchar_t description[256];
  int found = 0;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    if (property(set, &device, SPDRP_DRIVER, text)) {
      HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
      if (key != INVALID_HANDLE_VALUE && key != nullptr) {
        char version[24];
        DWORD size = sizeof(version);
        ::RegQueryValueExA(key, "DriverVersion", nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size);
        ::RegCloseKey(key);
      }
    }
    property(set, &device, SPDRP_SERVICE, text);
    property(set, &device, SPDRP_HARDWAREID, text);
    property(set, &device, SPDRP_COMPATIBLEIDS, text);
    property(set, &device, SPDRP_UPPERFILTERS, text);
    if (::CM_Get_Device_IDA(device.DevInst, text, sizeof(text), 0) == CR_SUCCESS) ++found;
    DEVPROPTYPE type = 0;
    get_property_fn get = get_device_property();
    if (get == nullptr || !get(set, &device, &kBusReportedDeviceDesc, &type, reinterpret_cast<BYTE*>(description),
                               sizeof(description), nullptr, 0)) {
      ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC, nullptr,
                                          reinterpret_cast<BYTE*>(description), sizeof(description), nullptr);
    }
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return found;
}

// What any walk of these devices has to do: the instance IDs only.
int bare_walk() {
  HDEVINFO set = ::SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return 0;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  char id[256];
  int found = 0;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    if (::CM_Get_Device_IDA(device.DevInst, id, sizeof(id), 0) == CR_SUCCESS) ++found;
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return found;
}

int engine_refresh() {
  wdi_list_options options = {1, 1, 1};
  wdi_device_entry* list = nullptr;
  int listed = 0;
  if (wdi_create_list(&list, &options) == WDI_ST_OK) {
    for (wdi_device_entry* e = list; e != nullptr; e = e->next_entry) ++listed;
  }
  wdi_destroy_list(list);
  return listed;
}

}  // namespace

int main(int argc, char** argv) {
  int iterations = argc > 1 ? std::atoi(argv[1]) : 40;
  std::vector<int> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {10, 100};
  if (iterations < 1) iterations = 1;

  std::printf("enumeration benchmark (%s build), %d iterations, medians\n", sizeof(void*) == 8 ? "64-bit" : "32-bit",
              iterations);
  int status = 0;
  for (int count : counts) {
    std::vector<std::string> planted;
    for (int n = 0; n < count; ++n) planted.push_back(plant_device(n));
    engine_refresh();  // warm caches and the entry points on both sides
    property_walk();
    bare_walk();

    std::vector<double> floor_ms, engine_ms, ids_ms;
    int walked = 0, listed = 0;
    for (int i = 0; i < iterations; ++i) {  // interleaved, so that drift hits all sides alike
      double t0 = now_ms();
      walked = property_walk();
      double t1 = now_ms();
      listed = engine_refresh();
      double t2 = now_ms();
      bare_walk();
      double t3 = now_ms();
      floor_ms.push_back(t1 - t0);
      engine_ms.push_back(t2 - t1);
      ids_ms.push_back(t3 - t2);
    }
    double f = median(floor_ms), e = median(engine_ms), ids = median(ids_ms);
    double f_min = bench::fastest(floor_ms);
    double e_min = bench::fastest(engine_ms);
    std::printf("%4d planted devices (%d walked, %d listed): floor %.2f ms, enumeration %.2f ms, ratio %.2f"
                " (fastest runs: %.2f / %.2f ms, ratio %.2f); instance IDs only %.2f ms (ratio %.2f)\n",
                count, walked, listed, f, e, f > 0 ? e / f : 0.0, f_min, e_min, f_min > 0 ? e_min / f_min : 0.0, ids,
                ids > 0 ? e / ids : 0.0);
    char name[64];
    std::snprintf(name, sizeof(name), "Enumeration, %d devices, vs the same reads", count);
    bench::figure(name, "x", 1.1, f > 0 ? e / f : 0.0);
    if (listed < count) status = 1;
    for (const std::string& id : planted) velmor_lab::remove(id);
  }
  return status;
}
