// The one access to the local policy value that stops restore points for device installations
// (protocol/restore_policy.h), through the local group policy object's machine part. The installer
// program switches it off and back; the engine puts back what it read when it had to end the
// installer. Each side logs the result its own way. The thread may have COM in either model.
#pragma once

#include <windows.h>

namespace velmor {

struct restore_setting {
  bool present = false;  // absent, or a DWORD
  DWORD value = 0;
};

// The first step that failed.
enum class restore_policy_step {
  none,
  no_policy,      // before Vista there is none: nothing is touched
  create_object,  // CoCreateInstance
  open_policy,    // OpenLocalMachineGPO
  machine_key,    // GetRegistryKey
  settings_key,   // opening the settings key (creating it, for a change)
  write_value,    // writing or deleting the value (ERROR_FILE_NOT_FOUND: nothing to delete); saved all the same
  save,           // Save
};

struct restore_policy_result {
  restore_policy_step failed = restore_policy_step::none;
  long error = 0;                   // that step's HRESULT or registry error
  LONG read_error = ERROR_SUCCESS;  // ERROR_FILE_NOT_FOUND: the value was absent
  HRESULT save_error = S_OK;
  // The settings key was opened.
  bool reached() const { return failed == restore_policy_step::none || failed >= restore_policy_step::write_value; }
  // The value is as asked, and saved.
  bool settled() const {
    return failed == restore_policy_step::none ||
           (failed == restore_policy_step::write_value && error == ERROR_FILE_NOT_FOUND && SUCCEEDED(save_error));
  }
};

// Reads the value (absent when missing or not a DWORD). Changes and saves nothing.
restore_policy_result read_restore_policy(restore_setting* found);
// Writes 1, after reading the value found into *before when that is given.
restore_policy_result switch_restore_policy_off(restore_setting* before);
// Writes `original` back, or deletes the value when it was absent.
restore_policy_result put_restore_policy_back(const restore_setting& original);

}  // namespace velmor

// Tests: a key under HKEY_CURRENT_USER that stands in for the settings key on any Windows version
// (null: the local group policy).
extern "C" const char* restore_policy_key_for_tests;
