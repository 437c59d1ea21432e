// A small stand-in for the engine's side of the installer pipe: builds a package folder with the
// installer under test, starts it there, serves its three requests and records every message.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace fake_engine {

struct message {
  int type;
  std::string text;  // payload up to its terminator (status: the raw byte)
};

struct options {
  // Replies to the three requests; nullopt sends the single zero byte of a missing value.
  std::optional<std::string> device_id = std::string("USB\\VID_2E3C&PID_F000&MI_00\\6&1A2B3C4D&0&0000");
  std::optional<std::string> hardware_id = std::string("USB\\VID_2E3C&PID_F000&MI_00");
  std::optional<std::string> user_sid = std::string("S-1-5-21-1-2-3-1000");
  // Reply to the installation-mode request: "1" unattended.
  std::optional<std::string> unattended = std::string("0");
  // Extra "NAME=value" entries of the installer's environment.
  std::vector<std::string> environment;
  // Command-line arguments after the program name (the engine passes the quoted INF name); the
  // pipe's argument follows them.
  std::string arguments = "\"Korvex-Test.inf\"";
  // File name of the installer copy in the package folder (default: the name the engine uses).
  std::string program_name;
  // Put the newdev stand-in into the system folder for the run, where the installer takes it
  // (the test runs with WINEDLLOVERRIDES=newdev=n,b); Wine's own module is put back afterwards.
  bool newdev_standin = false;
  // Names under which the newdev stand-in is planted beside the installer, as a user could.
  std::vector<std::string> planted_beside;
  // Called for every message as it arrives.
  std::function<void(const message&)> on_message;
};

struct result {
  std::vector<message> messages;
  long exit_code = -1000;
  bool started = false;

  std::vector<std::string> texts(int type) const;
  bool logged(const std::string& line) const;  // an exact PIPEMSG_LOG line
  bool logged_prefix(const std::string& prefix) const;
  int final_status() const;  // the PIPEMSG_STATUS byte, or 1000 when none came
  bool completed_then_status() const;
};

// A package folder in the temp folder, removed with everything in it when destroyed; write()
// creates a file (and its folders) relative to it.
class package : public wine_test::temp_folder {
 public:
  package();
  const std::string& folder() const { return folder_; }  // with a trailing backslash

 private:
  std::string folder_;
};

using wine_test::windows_path;

// The installer build of this bitness and the stand-in, as Windows paths.
std::string installer_path();
std::string installer_name();
std::string newdev_standin_path();

// Runs the installer from the package folder against this stand-in engine.
result run(const package& pkg, const options& opts);

// A minimal USB serial INF for one hardware ID.
std::string serial_inf(const std::string& hardware_id);

}  // namespace fake_engine
