// The system-restore policy the installer program switches off for its duration: the value
// "DisableSystemRestore" of the local group policy's machine part. An installer the engine had to
// end cannot switch it back; the engine then writes back what it read before the start.
#pragma once

#include <windows.h>

namespace velmor {

class restore_setting_keeper {
 public:
  // Reads the value as the installer will find it (Vista and later; older systems keep no such
  // policy). Forgets an earlier reading.
  void remember();
  // Writes the remembered value back, or deletes the value when there was none. Nothing when
  // nothing was remembered.
  void put_back();

 private:
  bool remembered_ = false;
  bool had_value_ = false;
  DWORD value_ = 0;
};

}  // namespace velmor

// Tests: a key under HKEY_CURRENT_USER that stands in for the policy's settings key (null: the
// local group policy).
extern "C" const char* restore_policy_key_for_tests;
