#include "installer/restore_policy.h"

#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "win/restore_policy_store.h"

namespace {

using velmor::restore_policy_step;

void log_unreached(const velmor::restore_policy_result& r) {
  const unsigned long e = static_cast<unsigned long>(r.error);
  switch (r.failed) {
    case restore_policy_step::create_object: pipe_log("CoCreateInstance failed; hr = %lx", e); break;
    case restore_policy_step::open_policy: pipe_log("OpenLocalMachineGPO failed - error %lx", e); break;
    case restore_policy_step::machine_key: pipe_log("GetRegistryKey failed - error %lx", e); break;
    case restore_policy_step::settings_key: pipe_log("RegCreateKeyEx failed - error %lx", e); break;
    case restore_policy_step::none:
    case restore_policy_step::no_policy: break;
  }
}

}  // namespace

bool set_restore_point_policy(bool disable) {
  const bool first = disable && saved_restore_setting == -1;
  velmor::restore_setting found;
  velmor::restore_setting saved;
  if (saved_restore_setting != -1) saved = {true, static_cast<DWORD>(saved_restore_setting)};
  velmor::restore_policy_result r = disable ? velmor::switch_restore_policy_off(first ? &found : nullptr)
                                            : velmor::put_restore_policy_back(saved);
  if (r.failed == restore_policy_step::no_policy) return true;
  if (!r.reached()) {
    log_unreached(r);
    return false;
  }
  if (found.present) saved_restore_setting = static_cast<int32_t>(found.value);
  if (r.read_error != ERROR_SUCCESS && r.read_error != ERROR_FILE_NOT_FOUND) {
    // A value of another type or size is not one we could write back faithfully.
    pipe_log("failed to read original DisableSystemRestore value - error %lx", static_cast<unsigned long>(r.read_error));
  }
  if (r.write_error != ERROR_SUCCESS) {
    pipe_log("RegSetValueEx / RegDeleteValue failed - error %lx", static_cast<unsigned long>(r.write_error));
  }
  // A value written but not saved changed nothing: that is no success either.
  if (r.write_error != ERROR_SUCCESS || FAILED(r.save_error)) {
    pipe_log("unable to apply DisableSystemRestore policy - error %lx", static_cast<unsigned long>(r.save_error));
    return false;
  }
  pipe_log("successfully %s the system restore point creation setting", disable ? "disabled" : "restored");
  return true;
}
