#include "installer/device_nodes.h"

#include <windows.h>
#include <setupapi.h>
#include <regstr.h>

#include <string.h>

#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "win/handles.h"
#include "win/imports.h"

namespace {

// Takes an entry point of the run-time import list; a missing required one is reported.
template <typename Fn>
bool resolve(Fn& slot, Fn found, const velmor::imports::origin& where, bool required) {
  if (slot == nullptr) slot = found;
  if (slot == nullptr && required) {
    pipe_log("Unable to locate %s() in %s\n", where.function, where.module);
    return false;
  }
  return true;
}

}  // namespace

bool installer_init_dlls() {
  namespace imports = velmor::imports;
#define VELMOR_REQUIRED(slot, name) resolve(slot, imports::name(), imports::name##_origin, true)
  bool found = VELMOR_REQUIRED(pCM_Locate_DevNodeA, CM_Locate_DevNodeA) &&
               VELMOR_REQUIRED(pCM_Reenumerate_DevNode, CM_Reenumerate_DevNode) &&
               VELMOR_REQUIRED(pCM_Get_DevNode_Status, CM_Get_DevNode_Status) &&
               VELMOR_REQUIRED(pSetupDiGetClassDevsA, SetupDiGetClassDevsA) &&
               VELMOR_REQUIRED(pSetupDiDestroyDeviceInfoList, SetupDiDestroyDeviceInfoList) &&
               VELMOR_REQUIRED(pSetupDiEnumDeviceInfo, SetupDiEnumDeviceInfo) &&
               VELMOR_REQUIRED(pSetupDiGetDeviceRegistryPropertyA, SetupDiGetDeviceRegistryPropertyA) &&
               VELMOR_REQUIRED(pSetupDiSetDeviceRegistryPropertyA, SetupDiSetDeviceRegistryPropertyA) &&
               VELMOR_REQUIRED(pSetupCopyOEMInfW, SetupCopyOEMInfW) &&
               VELMOR_REQUIRED(pUpdateDriverForPlugAndPlayDevicesW, UpdateDriverForPlugAndPlayDevicesW);
#undef VELMOR_REQUIRED
  if (!found) return false;
  resolve(pwgetmainargs, imports::__wgetmainargs(), imports::__wgetmainargs_origin, false);
  return true;
}

int reenumerate_device(const char* instance_id) {
  const char* shown = instance_id != nullptr ? instance_id : "<root>";
  pipe_log("re-enumerating driver node %s...", shown);
  DEVINST node = 0;
  CONFIGRET cr = pCM_Locate_DevNodeA(&node, const_cast<char*>(instance_id), 0);
  if (cr != CR_SUCCESS) {
    pipe_log("failed to locate device_id %s: %lx\n", shown, static_cast<unsigned long>(cr));
    return -1;
  }
  cr = pCM_Reenumerate_DevNode(node, CM_REENUMERATE_RETRY_INSTALLATION);
  if (cr != CR_SUCCESS) {
    pipe_log("failed to re-enumerate device node: CR code %lX", static_cast<unsigned long>(cr));
    return -1;
  }
  pipe_log("re-enumeration succeeded...");
  return 0;
}

void flag_removed_devices(const char* hardware_id) {
  velmor::unique_device_set device_set(pSetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES));
  if (!device_set) return;
  HDEVINFO set = device_set.get();
  const char* wanted = hardware_id != nullptr ? hardware_id : "<NULL>";
  int flagged = 0;
  SP_DEVINFO_DATA dev = {};
  dev.cbSize = sizeof(dev);
  for (DWORD i = 0; pSetupDiEnumDeviceInfo(set, i, &dev); ++i) {
    // Room for a terminator even when the property fills the buffer.
    char id[256 + 2] = {};
    if (!pSetupDiGetDeviceRegistryPropertyA(set, &dev, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(id),
                                            256, nullptr)) {
      continue;
    }
    if (strncmp(id, wanted, 256) != 0) continue;
    ULONG status = 0, problem = 0;
    if (pCM_Get_DevNode_Status(&status, &problem, dev.DevInst, 0) != CR_NO_SUCH_DEVINST) continue;
    DWORD flags = 0;
    if (!pSetupDiGetDeviceRegistryPropertyA(set, &dev, SPDRP_CONFIGFLAGS, nullptr, reinterpret_cast<BYTE*>(&flags),
                                            sizeof(flags), nullptr)) {
      pipe_log("could not read SPDRP_CONFIGFLAGS for phantom device %s", wanted);
      continue;
    }
    flags |= CONFIGFLAG_REINSTALL;
    if (!pSetupDiSetDeviceRegistryPropertyA(set, &dev, SPDRP_CONFIGFLAGS, reinterpret_cast<BYTE*>(&flags),
                                            sizeof(flags))) {
      pipe_log("could not write SPDRP_CONFIGFLAGS for phantom device %s", wanted);
      continue;
    }
    ++flagged;
  }
  if (flagged > 0) pipe_log("flagged %d removed devices for reinstallation", flagged);
}
