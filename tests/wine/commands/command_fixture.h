// The fixture of the command tests: a clean lab, a profile folder (the user's, from the token, and
// USERPROFILE), a current directory and a log file of the test's own, and the app started on them.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <string>

#include "command_bench.h"

namespace cmd {

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options.profile = profile.path();
    options.current_directory = cwd.path();
    options.log_path = logs / "app.txt";
  }
  void TearDown() override {
    if (app.running()) app.kill();
    if (HasFailure()) std::printf("--- app log ---\n%s--- end ---\n", Log().c_str());
  }
  void Start() { ASSERT_TRUE(start_app(app, options)) << "dialog did not appear"; }
  // Ticks exactly one interface (0: none).
  void TickOnly(int id) {
    for (int box : {IDC_USART_CHECK, IDC_BRIDGE_CHECK, IDC_WINUSB_CHECK}) set_check(app.dialog, box, box == id);
  }
  std::string Log() const { return wine_test::read_file(options.log_path); }

  LabGuard lab;
  ProfileFolder profile;
  TempFolder cwd{"cwd"};
  TempFolder logs{"logs"};
  LaunchOptions options;
  gui::App app;
};

// A machine-wide busy mutex of the engine, held by the test so that the app's call fails at once;
// with `sddl`, made with that security (e.g. another account as its owner).
struct HeldMutex {
  HANDLE handle;
  explicit HeldMutex(const char* name, const char* sddl = nullptr) : handle(nullptr) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl != nullptr &&
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
      return;
    }
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
    handle = ::CreateMutexA(descriptor != nullptr ? &security : nullptr, TRUE, name);
    ::LocalFree(descriptor);
  }
  ~HeldMutex() {
    if (handle != nullptr) {
      ::ReleaseMutex(handle);
      ::CloseHandle(handle);
    }
  }
  HeldMutex(const HeldMutex&) = delete;
  HeldMutex& operator=(const HeldMutex&) = delete;
};

inline std::wstring uid_of(const char* instance) {
  std::string key = velmor_lab::probe_key(instance);
  return std::wstring(key.begin(), key.end());
}

}  // namespace cmd
