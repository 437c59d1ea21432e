// The system-restore policy the installer program switches off for its duration: the value
// "DisableSystemRestore" of the local group policy's machine part. An installer the engine had to
// end cannot switch it back; the engine then writes back what it read before the start.
#pragma once

#include <windows.h>

namespace velmor {

// The record's names (journal section kRestoreSetting): the setting before the run ("absent" or its
// value), and the installer that may have changed it ("<process id> <creation time>").
inline constexpr wchar_t kOriginalRecord[] = L"Original";
inline constexpr wchar_t kInstallerRecord[] = L"Installer";

// Writes `value` back, or deletes the value when `had_value` is false. True when the policy was
// reached and saved.
bool write_restore_setting(bool had_value, DWORD value);

// The record's text of a setting: "absent" or the value in decimal.
bool parse_recorded_setting(const wchar_t* text, bool* had_value, DWORD* value);

class restore_setting_keeper {
 public:
  // Reads the value as the installer will find it (Vista and later; older systems keep no such
  // policy) and records it for recovery before the installer can change it. Forgets an earlier
  // reading.
  void remember();
  // Records the installer that may switch it off, so that a recovery waits for that one first.
  void note_installer(HANDLE process);
  // Writes the remembered value back, or deletes the value when there was none. Nothing when
  // nothing was remembered.
  void put_back();
  // The run is over and the setting is as it was: the record goes.
  void forget();

 private:
  bool remembered_ = false;
  bool had_value_ = false;
  DWORD value_ = 0;
};

}  // namespace velmor

// Tests: a key under HKEY_CURRENT_USER that stands in for the policy's settings key (null: the
// local group policy).
extern "C" const char* restore_policy_key_for_tests;
