#include "installer/device_nodes.h"

#include <windows.h>
#include <setupapi.h>
#include <regstr.h>

#include <string.h>

#include "engine/win_raii.h"
#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "installer/system_modules.h"

namespace {

FARPROC find_entry(const char* module, const char* name) {
  HMODULE h = load_system_dll(module);
  return h != nullptr ? ::GetProcAddress(h, name) : nullptr;
}

template <typename Fn>
bool resolve(Fn& slot, const char* module, const char* name, bool required) {
  if (slot != nullptr) return true;
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(find_entry(module, name)));
  if (slot == nullptr && required) {
    pipe_log("Unable to locate %s() in %s\n", name, module);
    return false;
  }
  return true;
}

}  // namespace

bool installer_init_dlls() {
  static const char cfgmgr[] = "Cfgmgr32.dll";
  static const char setupapi[] = "Setupapi.dll";
  // Cfgmgr32 forwards its entry points to setupapi on some systems (XP, Wine), and a forwarder's
  // module can be looked for beside the program whatever the search restriction: setupapi is
  // loaded from the system folder first, so that the forwarders find it loaded.
  load_system_dll(setupapi);
  if (!resolve(pCM_Locate_DevNodeA, cfgmgr, "CM_Locate_DevNodeA", true) ||
      !resolve(pCM_Reenumerate_DevNode, cfgmgr, "CM_Reenumerate_DevNode", true) ||
      !resolve(pCM_Get_DevNode_Status, cfgmgr, "CM_Get_DevNode_Status", true) ||
      !resolve(pSetupDiGetClassDevsA, setupapi, "SetupDiGetClassDevsA", true) ||
      !resolve(pSetupDiDestroyDeviceInfoList, setupapi, "SetupDiDestroyDeviceInfoList", true) ||
      !resolve(pSetupDiEnumDeviceInfo, setupapi, "SetupDiEnumDeviceInfo", true) ||
      !resolve(pSetupDiGetDeviceRegistryPropertyA, setupapi, "SetupDiGetDeviceRegistryPropertyA", true) ||
      !resolve(pSetupDiSetDeviceRegistryPropertyA, setupapi, "SetupDiSetDeviceRegistryPropertyA", true) ||
      !resolve(pSetupCopyOEMInfW, setupapi, "SetupCopyOEMInfW", true) ||
      !resolve(pUpdateDriverForPlugAndPlayDevicesW, "Newdev.dll", "UpdateDriverForPlugAndPlayDevicesW", true)) {
    return false;
  }
  resolve(pwgetmainargs, "Msvcrt.dll", "__wgetmainargs", false);
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
  HDEVINFO set = pSetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return;
  velmor::scope_exit destroy_set([set] { pSetupDiDestroyDeviceInfoList(set); });
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
