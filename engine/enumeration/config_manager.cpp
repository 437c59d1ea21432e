// init_dlls: the configuration-manager entry points of enumeration and installation.
#include "engine/enumeration/config_manager.h"

#include "engine/common/system.h"

extern "C" BOOL init_dlls(void) {
  namespace imports = velmor::imports;
  constexpr char caller[] = "init_dlls";
  return required_import<imports::CM_Get_Parent>(caller) && required_import<imports::CM_Get_Child>(caller) &&
         required_import<imports::CM_Get_Sibling>(caller) && required_import<imports::CM_Get_Device_IDA>(caller) &&
         required_import<imports::CMP_WaitNoPendingInstallEvents>(caller);
}
