// Bench of the command tests: the real app started with a profile folder and a current directory
// of the test's own, its standard error kept in a file, message boxes collected as the user sees
// them, and the probe lab for the devices.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "gui_driver.h"
#include "probe_lab.h"
#include "test_support.h"

namespace cmd {

using TempFolder = wine_test::temp_folder;

// A UTF-16 text file (the INFs) as UTF-8 without its byte-order mark; empty when unreadable.
std::string read_utf16_file(const std::string& path);

// The user's profile folder as the app reads it from its token. Wine makes it of the machine's
// profiles folder (ProfilesDirectory under HKLM's ProfileList) and the user's name: while this
// lives, that value points at a folder of the test's own, restored after (suites that use it hold
// the "registry" lock).
class ProfileFolder {
 public:
  ProfileFolder();
  ~ProfileFolder();
  ProfileFolder(const ProfileFolder&) = delete;
  ProfileFolder& operator=(const ProfileFolder&) = delete;

  const std::string& path() const { return path_; }  // created; empty when the value could not be set
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }
  bool write(const std::string& relative, const std::string& content) const;
  // Points the profiles folder at `folder` instead (which is not created): the profile then is
  // "<folder>\<user>", returned (empty on failure).
  std::string move_profiles_to(const std::string& folder);

 private:
  TempFolder profiles_{"profiles"};
  std::wstring saved_;
  bool had_value_ = false;
  std::string path_;
};

// Paths in UTF-8.
struct LaunchOptions {
  std::string profile;             // USERPROFILE of the app (not its profile); empty: the variable is removed
  bool set_profile = true;
  std::string current_directory;   // empty: the test's own
  std::string version;             // Windows version Wine reports to the app; empty: the prefix's
  std::string log_path;            // the app's standard output and error; empty: not kept
  std::string stdout_path;         // when set, standard output goes here and only errors to log_path
  std::string arguments;           // the app's command line after its name (UTF-8)
};

// Pauses between attempts of the app as these suites start it (the shipped program's are 2000 ms).
constexpr unsigned kRetryPauseMs = 200;

// The app (its build with short pauses) started as LaunchOptions say. With a version, a copy of the exe named after that version
// runs from the test's folder, so that the setting applies to that copy alone.
bool start_app(gui::App& app, const LaunchOptions& options);
// The same without waiting for the dialog (the app started with a command).
bool launch_app(gui::App& app, const LaunchOptions& options);

// One message box as it appeared.
struct Box {
  std::wstring caption;
  std::wstring text;
  bool owned_by_dialog = false;
  bool only_ok = false;     // an OK button and no other
  UINT icon = 0;            // MB_ICONINFORMATION, MB_ICONERROR, or 0 when not recognised
  DWORD after_ms = 0;       // time from the start of collect_boxes
};

// Waits up to timeout_ms for the first message box of the app, then reads and closes boxes one
// after another until `count` were seen or the command showed its last.
std::vector<Box> collect_boxes(const gui::App& app, size_t count, DWORD timeout_ms);

// Unticks (or ticks) a check box so that its state is `checked`.
void set_check(HWND dialog, int id, bool checked);

// A probe with every interface present and without drivers, interface 3 with the given first
// compatible ID (e.g. "MS_COMP_WINUSB"; empty: none).
velmor_lab::probe_spec bare_probe(const std::string& instance, const std::string& mi3_compat = "");

// A probe whose interfaces report a hardware ID of their own first ("...&REV_<rev>&MI_0n") and the
// generic one second, so that an installation for one of them touches that probe alone.
bool plant_tagged_probe(const char* instance, const char* rev);

// Clears the lab before and after a test that plants probes.
struct LabGuard {
  LabGuard() { velmor_lab::clear(); }
  ~LabGuard() { velmor_lab::clear(); }
};

// Waits until the dialog shows this UID (the refresh found the probe).
bool wait_uid(HWND dialog, const std::wstring& uid, DWORD timeout_ms = 10000);

// The service a device node carries now, or "" without one.
std::string service_of(const std::string& instance_id);

// Chooses a combo box row as the user does: the selection, then the change notification.
void select_row(HWND dialog, int row);

}  // namespace cmd
