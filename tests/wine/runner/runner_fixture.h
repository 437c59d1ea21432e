// A temporary package folder holding the scripted installer under the installer's names, a device
// record to install for, and log capture.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "engine_log_capture.h"
#include "engine/common/log.h"
#include "engine/install/install.h"
#include "engine/install/installer_pipe.h"
#include "engine/install/pipe_messages.h"
#include "prepared_for_tests.h"
#include "test_support.h"
#include "win/handles.h"

namespace runner_test {

using wine_test::process_alive;
using wine_test::read_file;
using wine_test::wait_for_file;
using wine_test::write_file;

// Hex of the bytes, as the scripted installer records replies.
inline std::string reply_line(const std::string& bytes) {
  std::string line = std::to_string(bytes.size()) + ":";
  char hex[3];
  for (unsigned char c : bytes) {
    std::snprintf(hex, sizeof(hex), "%02x", c);
    line += hex;
  }
  return line;
}

inline std::string own_sid_text() {
  HANDLE raw = nullptr;
  ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw);
  velmor::unique_handle token(raw);
  char buffer[256];
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size);
  char* text = nullptr;
  ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
  std::string result = text != nullptr ? text : "";
  ::LocalFree(text);
  return result;
}

// A package folder holding the scripted installer under both installer names.
class package_folder : public wine_test::temp_folder {
 public:
  package_folder() : temp_folder("runner") {
    std::string installer = wine_test::program_folder() + "scripted_installer.exe";
    ::CopyFileA(installer.c_str(), file("installer_x86.exe").c_str(), FALSE);
    ::CopyFileA(installer.c_str(), file("installer_x64.exe").c_str(), FALSE);
  }
  ~package_folder() { stop_installer(); }

  std::string file(const char* name) const { return *this / name; }
  std::string read(const char* name) const { return read_file(file(name)); }
  DWORD installer_pid() const { return static_cast<DWORD>(std::strtoul(read("pid.txt").c_str(), nullptr, 10)); }
  int starts() const {
    std::string s = read("started.txt");
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
  }
  // Ends an installer a scenario left running, so that the folder can go.
  void stop_installer() const {
    DWORD pid = installer_pid();
    if (pid == 0) return;
    velmor::unique_handle p(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (p && ::WaitForSingleObject(p.get(), 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(p.get(), 1);
      ::WaitForSingleObject(p.get(), 5000);
    }
  }
};

// The interface-0 record of a probe, with its strings in this object.
struct test_device {
  char instance_id[64] = "USB\\VID_2E3C&PID_F000&MI_00\\6&1A2B3C4D&0&0000";
  char hardware_id[64] = "USB\\VID_2E3C&PID_F000&REV_0100&MI_00";
  char upper_filter[16] = "LIBUSB0";
  wdi_device_entry entry = {};
  test_device() {
    entry.vendor_id = 0x2E3C;
    entry.product_id = 0xF000;
    entry.is_interface = 1;
    entry.instance_id = instance_id;
    entry.first_hardware_id = hardware_id;
  }
};

// Engine lines of the code run inside, at every level.
using log_capture = wine_test::engine_log_capture;

// Milliseconds a call took.
template <typename F>
long long timed_ms(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

inline int install(test_device& device, const package_folder& folder, const char* scenario,
                   const wdi_install_options* options = nullptr) {
  EXPECT_NE(adopt_as_prepared(folder.path(), scenario), "") << wine_test::last_error();
  return wdi_install_driver(&device.entry, folder.path().c_str(), scenario, options);
}

// Either engine build takes the installer of the Windows it runs on.
inline bool windows_is_64bit() {
  SYSTEM_INFO info = {};
  ::GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}
inline const char* expected_installer_bits() { return windows_is_64bit() ? "64" : "32"; }

}  // namespace runner_test
