#include "installer/device_nodes.h"

#include <windows.h>
#include <setupapi.h>
#include <regstr.h>

#include <string.h>

#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "win/handles.h"
#include "win/imports.h"

namespace imports = velmor::imports;

namespace {

// An entry point the installer cannot do without; a missing one is reported to the engine.
template <auto entry>
bool required() {
  if (entry() != nullptr) return true;
  pipe_log("Unable to locate %s() in %s\n", imports::origin_of<entry>.function, imports::origin_of<entry>.module);
  return false;
}

}  // namespace

bool installer_init_dlls() {
  return required<imports::CM_Locate_DevNodeA>() && required<imports::CM_Reenumerate_DevNode>() &&
         required<imports::CM_Get_DevNode_Status>() && required<imports::SetupDiGetClassDevsA>() &&
         required<imports::SetupDiDestroyDeviceInfoList>() && required<imports::SetupDiEnumDeviceInfo>() &&
         required<imports::SetupDiGetDeviceRegistryPropertyA>() &&
         required<imports::SetupDiSetDeviceRegistryPropertyA>() && required<imports::SetupCopyOEMInfW>() &&
         required<imports::UpdateDriverForPlugAndPlayDevicesW>();
}

int reenumerate_device(const char* instance_id) {
  const char* shown = instance_id != nullptr ? instance_id : "<root>";
  pipe_log("re-enumerating driver node %s...", shown);
  DEVINST node = 0;
  CONFIGRET cr = imports::CM_Locate_DevNodeA()(&node, const_cast<char*>(instance_id), 0);
  if (cr != CR_SUCCESS) {
    pipe_log("failed to locate device_id %s: %lx\n", shown, static_cast<unsigned long>(cr));
    return -1;
  }
  cr = imports::CM_Reenumerate_DevNode()(node, CM_REENUMERATE_RETRY_INSTALLATION);
  if (cr != CR_SUCCESS) {
    pipe_log("failed to re-enumerate device node: CR code %lX", static_cast<unsigned long>(cr));
    return -1;
  }
  pipe_log("re-enumeration succeeded...");
  return 0;
}

void flag_removed_devices(const char* hardware_id) {
  velmor::unique_device_set device_set(imports::SetupDiGetClassDevsA()(nullptr, "USB", nullptr, DIGCF_ALLCLASSES));
  if (!device_set) return;
  HDEVINFO set = device_set.get();
  const char* wanted = hardware_id != nullptr ? hardware_id : "<NULL>";
  int flagged = 0;
  SP_DEVINFO_DATA dev = {};
  dev.cbSize = sizeof(dev);
  for (DWORD i = 0; imports::SetupDiEnumDeviceInfo()(set, i, &dev); ++i) {
    // Room for a terminator even when the property fills the buffer.
    char id[256 + 2] = {};
    if (!imports::SetupDiGetDeviceRegistryPropertyA()(set, &dev, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(id),
                                            256, nullptr)) {
      continue;
    }
    if (strncmp(id, wanted, 256) != 0) continue;
    ULONG status = 0, problem = 0;
    if (imports::CM_Get_DevNode_Status()(&status, &problem, dev.DevInst, 0) != CR_NO_SUCH_DEVINST) continue;
    DWORD flags = 0;
    if (!imports::SetupDiGetDeviceRegistryPropertyA()(set, &dev, SPDRP_CONFIGFLAGS, nullptr, reinterpret_cast<BYTE*>(&flags),
                                            sizeof(flags), nullptr)) {
      pipe_log("could not read SPDRP_CONFIGFLAGS for phantom device %s", wanted);
      continue;
    }
    flags |= CONFIGFLAG_REINSTALL;
    if (!imports::SetupDiSetDeviceRegistryPropertyA()(set, &dev, SPDRP_CONFIGFLAGS, reinterpret_cast<BYTE*>(&flags),
                                            sizeof(flags))) {
      pipe_log("could not write SPDRP_CONFIGFLAGS for phantom device %s", wanted);
      continue;
    }
    ++flagged;
  }
  if (flagged > 0) pipe_log("flagged %d removed devices for reinstallation", flagged);
}
