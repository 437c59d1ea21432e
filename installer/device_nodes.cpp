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
  if (!resolve(pCM_Locate_DevNodeA, imports::CM_Locate_DevNodeA(), imports::CM_Locate_DevNodeA_origin, true) ||
      !resolve(pCM_Reenumerate_DevNode, imports::CM_Reenumerate_DevNode(), imports::CM_Reenumerate_DevNode_origin,
               true) ||
      !resolve(pCM_Get_DevNode_Status, imports::CM_Get_DevNode_Status(), imports::CM_Get_DevNode_Status_origin,
               true)) {
    return false;
  }
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
  velmor::unique_device_set device_set(::SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES));
  if (!device_set) return;
  HDEVINFO set = device_set.get();
  const char* wanted = hardware_id != nullptr ? hardware_id : "<NULL>";
  int flagged = 0;
  SP_DEVINFO_DATA dev = {};
  dev.cbSize = sizeof(dev);
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
    // Room for a terminator even when the property fills the buffer.
    char id[256 + 2] = {};
    if (!::SetupDiGetDeviceRegistryPropertyA(set, &dev, SPDRP_HARDWAREID, nullptr,
                                             reinterpret_cast<BYTE*>(id), 256, nullptr)) {
      continue;
    }
    if (strncmp(id, wanted, 256) != 0) continue;
    ULONG status = 0, problem = 0;
    if (pCM_Get_DevNode_Status(&status, &problem, dev.DevInst, 0) != CR_NO_SUCH_DEVINST) continue;
    DWORD flags = 0;
    if (!::SetupDiGetDeviceRegistryPropertyA(set, &dev, SPDRP_CONFIGFLAGS, nullptr,
                                             reinterpret_cast<BYTE*>(&flags), sizeof(flags), nullptr)) {
      pipe_log("could not read SPDRP_CONFIGFLAGS for phantom device %s", wanted);
      continue;
    }
    flags |= CONFIGFLAG_REINSTALL;
    if (!::SetupDiSetDeviceRegistryPropertyA(set, &dev, SPDRP_CONFIGFLAGS,
                                             reinterpret_cast<BYTE*>(&flags), sizeof(flags))) {
      pipe_log("could not write SPDRP_CONFIGFLAGS for phantom device %s", wanted);
      continue;
    }
    ++flagged;
  }
  if (flagged > 0) pipe_log("flagged %d removed devices for reinstallation", flagged);
}
