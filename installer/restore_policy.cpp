#include "installer/restore_policy.h"

#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "win/restore_policy_store.h"

using velmor::restore_policy_step;

bool set_restore_point_policy(bool disable) {
  const bool none_saved = saved_restore_setting == -1;
  velmor::restore_setting found;
  velmor::restore_policy_result r =
      disable ? velmor::switch_restore_policy_off(none_saved ? &found : nullptr)
              : velmor::put_restore_policy_back({!none_saved, static_cast<DWORD>(saved_restore_setting)});
  const unsigned long e = static_cast<unsigned long>(r.error);
  switch (r.failed) {
    case restore_policy_step::none:
    case restore_policy_step::write_value:
    case restore_policy_step::save: break;
    case restore_policy_step::no_policy: return true;
    case restore_policy_step::create_object: pipe_log("CoCreateInstance failed; hr = %lx", e); return false;
    case restore_policy_step::open_policy: pipe_log("OpenLocalMachineGPO failed - error %lx", e); return false;
    case restore_policy_step::machine_key: pipe_log("GetRegistryKey failed - error %lx", e); return false;
    case restore_policy_step::settings_key: pipe_log("RegCreateKeyEx failed - error %lx", e); return false;
  }
  if (found.present) saved_restore_setting = static_cast<int32_t>(found.value);
  if (r.read_error != ERROR_SUCCESS && r.read_error != ERROR_FILE_NOT_FOUND) {
    // A value of another type or size is not one we could write back faithfully.
    pipe_log("failed to read original DisableSystemRestore value - error %lx",
             static_cast<unsigned long>(r.read_error));
  }
  if (r.failed == restore_policy_step::write_value) pipe_log("RegSetValueEx / RegDeleteValue failed - error %lx", e);
  // A value written but not saved changed nothing: that is no success either.
  if (r.failed != restore_policy_step::none) {
    pipe_log("unable to apply DisableSystemRestore policy - error %lx", static_cast<unsigned long>(r.save_error));
    return false;
  }
  pipe_log("successfully %s the system restore point creation setting", disable ? "disabled" : "restored");
  return true;
}
