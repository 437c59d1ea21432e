// The system-restore policy the installer program switches off for its duration: the value
// "DisableSystemRestore" of the local group policy's machine part. An installer the engine had to
// end cannot switch it back; the engine then writes back what it read before the start.
#pragma once

#include <windows.h>

#include "win/restore_policy_store.h"

namespace velmor {

// The record's names (journal section kRestoreSetting): the setting before the run ("absent" or its
// value), and the installer that may have changed it ("<process id> <creation time>").
inline constexpr wchar_t kOriginalRecord[] = L"Original";
inline constexpr wchar_t kInstallerRecord[] = L"Installer";

// The record's text of a setting: "absent" or the value in decimal.
bool parse_recorded_setting(const wchar_t* text, restore_setting* setting);

// Puts `original` back through the local policy. When it could not: a warning for `function`, the
// failure text with the step that failed and its error, and false.
bool put_back_restore_setting(const restore_setting& original, const char* function, const char* failure);

class restore_setting_keeper {
 public:
  // Reads the value as the installer will find it (Vista and later; older systems keep no such
  // policy) and records it for recovery before the installer can change it. Forgets an earlier
  // reading. A dead run's record that recovery could not put back is kept instead: the setting now
  // is that run's switched-off one, and the machine's own is the recorded value, owed until it has
  // been put back.
  void remember();
  // Records the installer that may switch it off, so that a recovery waits for that one first.
  void note_installer(HANDLE process);
  // Writes the remembered value back, or deletes the value when there was none. True when it is
  // back, or when nothing was remembered.
  bool put_back();
  // A dead run's value this run took over, which its own installer does not know to put back.
  bool owes_put_back() const { return remembered_ && inherited_; }
  // The run is over and the setting is as it was: the record goes.
  void forget();

 private:
  bool remembered_ = false;
  bool inherited_ = false;
  restore_setting original_;
};

}  // namespace velmor
