// Runs of the real app killed at the points where they hold machine changes (in the signing step,
// with the installer running, the installer itself), each followed by the next /install: that run
// succeeds and leaves no protected folder, no key container of the tool, no record and no installer
// behind; and a run beside a live one never takes what the live one holds.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "command_fixture.h"
#include "standin_session.h"
#include "test_support.h"

namespace {

const char kProbe[] = "C0DE3A0A";
const char kInstall[] = "/install /quiet /interfaces usart,bridge";

std::string temp_of_windows() {
  char windows[MAX_PATH] = {};
  ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
  return std::string(windows) + "\\Temp";
}

std::vector<std::string> protected_folders() {
  std::set<std::string> found;
  for (const std::string& file : wine_test::list_files(temp_of_windows())) {
    if (file.rfind("Velmor-", 0) == 0) found.insert(file.substr(0, file.find('\\')));
  }
  return std::vector<std::string>(found.begin(), found.end());
}

std::vector<std::string> tool_key_containers() {
  std::vector<std::string> found;
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET))
    return {"(cannot enumerate)"};
  char name[256];
  DWORD flags = CRYPT_FIRST;
  for (;;) {
    DWORD size = sizeof(name);
    if (!::CryptGetProvParam(provider, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, flags)) break;
    flags = 0;
    if (std::string(name).rfind("Velmor key ", 0) == 0) found.push_back(name);
  }
  ::CryptReleaseContext(provider, 0);
  return found;
}

std::vector<DWORD> installers_running() {
  std::vector<DWORD> found;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
    std::string exe = entry.szExeFile;
    if (exe.find("installer_x64.exe") != std::string::npos || exe.find("installer_x86.exe") != std::string::npos)
      found.push_back(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return found;
}

std::string joined(const std::vector<std::string>& items) {
  std::string all;
  for (const std::string& item : items) all += item + " ";
  return all;
}

class KilledRuns : public cmd::CommandTest {
 protected:
  void SetUp() override {
    cmd::CommandTest::SetUp();
    ASSERT_TRUE(newdev_.placed());
    // Long enough to be caught inside the device installer, short for the runs that finish.
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", "0");
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", "1500");
    ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  }
  void TearDown() override {
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", nullptr);
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", nullptr);
    for (DWORD pid : installers_running()) {
      HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
      if (process != nullptr) ::TerminateProcess(process, 1), ::CloseHandle(process);
    }
    cmd::CommandTest::TearDown();
  }

  // Starts `arguments` with a log file of its own; false (and a failure) when it cannot start.
  bool Launch(gui::App& run, const std::string& arguments, const std::string& log) {
    options.arguments = arguments + " /log \"" + log + "\"";
    bool started = cmd::launch_app(run, options);
    EXPECT_TRUE(started) << arguments << ": " << wine_test::last_error();
    return started;
  }

  // Waits until the run's log holds `line`.
  static bool Reached(const std::string& log, const std::string& line, DWORD timeout_ms = 120000) {
    return wine_test::wait_until([&] { return wine_test::read_file(log).find(line) != std::string::npos; }, timeout_ms);
  }

  long RunToEnd(const std::string& arguments, const std::string& log) {
    gui::App run;
    if (!Launch(run, arguments, log)) return -1;
    return run.wait_exit(300000);
  }

  // The next /install succeeds and the machine holds nothing of the killed run.
  void ExpectRecovered(const std::string& point) {
    SCOPED_TRACE(point);
    const std::string log = logs / ("after " + std::to_string(++runs_) + ".log");
    EXPECT_EQ(0, RunToEnd(kInstall, log)) << wine_test::read_file(log);
    EXPECT_EQ("", joined(protected_folders())) << wine_test::read_file(log);
    EXPECT_EQ("", joined(tool_key_containers()));
    EXPECT_TRUE(installers_running().empty());
  }

  wine_test::system_module_standin newdev_{wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH), "newdev.dll", true};
  int runs_ = 0;
};

TEST_F(KilledRuns, EveryKillPointIsRecoveredByTheNextInstall) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "the device-installer stand-in is in the 64-bit system folder";
  const struct {
    const char* line;   // killed right after the run logged this
    bool installer;     // the installer is killed, not the app
  } points[] = {
      {"created new key container", false},
      {"added certificate '", false},
      {"Installing driver for", false},
      {"Installing driver for", true},
  };
  for (const auto& point : points) {
    const std::string name = std::string(point.installer ? "installer" : "app") + " after \"" + point.line + "\"";
    const std::string log = logs / ("killed " + std::to_string(++runs_) + ".log");
    gui::App run;
    ASSERT_TRUE(Launch(run, kInstall, log));
    ASSERT_TRUE(Reached(log, point.line)) << name << "\n" << wine_test::read_file(log);
    if (point.installer) {
      for (DWORD pid : installers_running()) {
        HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        if (process != nullptr) ::TerminateProcess(process, 0), ::CloseHandle(process);
      }
      // The killed installer sent no status: that attempt fails, and the next one installs.
      EXPECT_EQ(0, run.wait_exit(300000)) << name;
      EXPECT_NE(std::string::npos, wine_test::read_file(log).find("installer ended without sending its status"));
    } else {
      run.kill();
      // Its installer, if it ran, ends by itself once its engine is gone.
      EXPECT_TRUE(wine_test::wait_until([] { return installers_running().empty(); }, 20000)) << name;
    }
    ExpectRecovered(name);
  }
}

// A run killed while another one installs: the next run recovers what the killed one left and
// nothing the live one holds, and the live one still succeeds.
TEST_F(KilledRuns, RecoveryBesideALiveRunTakesOnlyWhatTheDeadOneLeft) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "the device-installer stand-in is in the 64-bit system folder";
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", "30000");
  const std::string live_log = logs / "live.log";
  gui::App live;
  ASSERT_TRUE(Launch(live, "/install /quiet /interfaces usart", live_log));
  ASSERT_TRUE(Reached(live_log, "Installing driver for"));
  const std::vector<std::string> held = protected_folders();
  ASSERT_EQ(1u, held.size());

  const std::string dead_log = logs / "dead.log";
  {
    gui::App dead;
    ASSERT_TRUE(Launch(dead, "/install /quiet /interfaces bridge", dead_log));
    ASSERT_TRUE(Reached(dead_log, "created new key container"));
    dead.kill();
  }
  // Prepares (and so recovers) while the live run is still inside the device installer; its own
  // installation then finds the installation busy, which is not what this shows.
  const std::string beside_log = logs / "beside.log";
  RunToEnd("/install /quiet /interfaces bridge", beside_log);
  const std::string beside = wine_test::read_file(beside_log);
  EXPECT_NE(std::string::npos, beside.find("deleted the key container")) << beside;
  EXPECT_NE(std::string::npos, beside.find("removed the protected folder")) << beside;
  EXPECT_EQ(std::string::npos, beside.find(held[0])) << beside;
  const std::vector<std::string> now = protected_folders();
  EXPECT_NE(now.end(), std::find(now.begin(), now.end(), held[0])) << "the live run's folder is still there";

  EXPECT_EQ(0, live.wait_exit(300000)) << wine_test::read_file(live_log);
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", "1500");
  ExpectRecovered("beside a live run");
}

}  // namespace
