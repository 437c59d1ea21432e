// The one access to the local policy value that stops restore points for device installations
// (names in protocol/restore_policy.h): through the local group policy object's machine part, saved
// after each change. The installer program switches it off for one installation and puts it back;
// the engine puts back what it read when it had to end the installer. Each caller logs the result
// its own way. The caller's thread may have COM in either model already.
#pragma once

#include <windows.h>

namespace velmor {

// The value as found: absent, or a DWORD.
struct restore_setting {
  bool present = false;
  DWORD value = 0;
};

// The step that kept the policy's settings key from being reached.
enum class restore_policy_step {
  none,           // reached
  no_policy,      // the system keeps no such policy (before Vista): nothing was touched
  create_object,  // CoCreateInstance of the local group policy object
  open_policy,    // OpenLocalMachineGPO
  machine_key,    // GetRegistryKey of the machine part
  settings_key,   // opening (creating, for a change) the settings key
};

struct restore_policy_result {
  restore_policy_step failed = restore_policy_step::none;
  long error = 0;                     // the HRESULT or registry error of that step
  LONG read_error = ERROR_SUCCESS;    // reading the value first; ERROR_FILE_NOT_FOUND: it was absent
  LONG write_error = ERROR_SUCCESS;   // writing or deleting it; ERROR_FILE_NOT_FOUND: nothing to delete
  HRESULT save_error = S_OK;          // saving the policy, which follows a failed write too

  bool reached() const { return failed == restore_policy_step::none; }
  // The value is as asked and saved (a deletion that found nothing to delete counts).
  bool settled() const {
    return reached() && (write_error == ERROR_SUCCESS || write_error == ERROR_FILE_NOT_FOUND) && SUCCEEDED(save_error);
  }
};

// Reads the value into *found (absent when missing or not a DWORD, see read_error). Saves nothing.
restore_policy_result read_restore_policy(restore_setting* found);

// Writes 1. When `before` is given, the value found there first is read into it.
restore_policy_result switch_restore_policy_off(restore_setting* before);

// Writes `original` back, or deletes the value when it was absent.
restore_policy_result put_restore_policy_back(const restore_setting& original);

}  // namespace velmor

// Tests: a key under HKEY_CURRENT_USER that stands in for the policy's settings key on any Windows
// version (null: the local group policy).
extern "C" const char* restore_policy_key_for_tests;
