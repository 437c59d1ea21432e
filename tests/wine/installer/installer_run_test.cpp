// The installer program run as the engine runs it: from a package folder, against a stand-in of
// the engine's pipe end, with the device installer's answer chosen by the test.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "protocol/pipe_protocol.h"
#include "fake_engine.h"
#include "test_support.h"

namespace {

using fake_engine::options;
using fake_engine::package;
using fake_engine::result;

const std::string test_inf = "Korvex-Test.inf";

// Deletes the driver-store copy that a run reported with "copied inf to <path>".
void remove_copied_inf(const result& r) {
  for (const std::string& line : r.texts(PIPEMSG_LOG)) {
    const std::string tag = "copied inf to ";
    if (line.rfind(tag, 0) != 0) continue;
    std::string path = line.substr(tag.size());  // UTF-8
    if (path.size() <= 4) continue;
    wine_test::remove_tree(path);
    wine_test::remove_tree(path.substr(0, path.size() - 3) + "pnf");
  }
}

std::string dump(const result& r) {
  // Not started: the device-installer stand-in could not be put into the system folder, or the pipe
  // or the process could not be made.
  std::string s = r.started ? "" : "(the installer was not started)\n";
  for (const auto& m : r.messages) s += std::to_string(m.type) + ": " + m.text + "\n";
  return s;
}

options standin_answering(const char* code) {
  options o;
  o.newdev_standin = true;
  o.environment.push_back(std::string("VELMOR_TEST_NEWDEV_ERROR=") + code);
  return o;
}

TEST(InstallerByHand, PrintsTheTwoLinesAndEndsWithUnsupported) {
  package pkg;
  std::string exe = pkg.folder() + fake_engine::installer_name();
  ASSERT_TRUE(::CopyFileA(fake_engine::installer_path().c_str(), exe.c_str(), FALSE)) << wine_test::last_error();
  std::string out = pkg.folder() + "out.txt";
  // Through the command interpreter, so the program's standard output lands in a file.
  long code = wine_test::run_and_wait("cmd.exe /c \"\"" + exe + "\" x.inf > \"" + out + "\"\"");
  EXPECT_EQ(code, -12);
  char text[512] = {};
  HANDLE f = ::CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << wine_test::last_error();
  DWORD got = 0;
  ::ReadFile(f, text, sizeof(text) - 1, &got, nullptr);
  ::CloseHandle(f);
  EXPECT_STREQ(text,
               "This application can not be run from the command line.\r\n"
               "Please use your initial installer application if you want to install the driver.\r\n");
}

TEST(InstallerAgainstEngine, AsksThreeQuestionsInOrderAndLogsTheAnswers) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  result r = fake_engine::run(pkg, standin_answering("0xE000022F"));
  ASSERT_TRUE(r.started);
  std::vector<int> asks;
  for (const auto& m : r.messages) {
    if (m.type >= PIPEMSG_ASK_DEVICE_ID && m.type <= PIPEMSG_ASK_USER_SID) asks.push_back(m.type);
  }
  EXPECT_EQ(asks, (std::vector<int>{2, 3, 4})) << dump(r);
  EXPECT_TRUE(r.logged("got parameter " + test_inf)) << dump(r);
  EXPECT_TRUE(r.logged("got device_id: 'USB\\VID_2E3C&PID_F000&MI_00\\6&1A2B3C4D&0&0000'")) << dump(r);
  EXPECT_TRUE(r.logged("got hardware_id: 'USB\\VID_2E3C&PID_F000&MI_00'")) << dump(r);
  EXPECT_TRUE(r.logged("got user_sid: 'S-1-5-21-1-2-3-1000'")) << dump(r);
  EXPECT_TRUE(r.logged("Installing driver for USB\\VID_2E3C&PID_F000&MI_00 - please wait...")) << dump(r);
}

TEST(InstallerAgainstEngine, UnsignedPolicyRefusalExplainsAndEndsWith19) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  result r = fake_engine::run(pkg, standin_answering("0xE000022F"));
  EXPECT_TRUE(r.logged("your system policy has been modified from Windows defaults, and")) << dump(r);
  EXPECT_TRUE(r.logged("is set to reject unsigned drivers. You must revert the driver"));
  EXPECT_TRUE(r.logged("installation policy to default if you want to install this driver."));
  EXPECT_FALSE(r.logged_prefix("Copying inf file"));
  EXPECT_EQ(r.final_status(), -19);
  EXPECT_TRUE(r.completed_then_status()) << dump(r);
  EXPECT_EQ(r.exit_code, -19);
}

TEST(InstallerAgainstEngine, AbsentDeviceCopiesTheInfAndSucceeds) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  result r = fake_engine::run(pkg, standin_answering("0xE000020B"));
  remove_copied_inf(r);
  EXPECT_TRUE(r.logged("device not detected (copying driver files for next time device is plugged in)")) << dump(r);
  EXPECT_TRUE(r.logged("Copying inf file (for the next time device is plugged) - please wait..."));
  EXPECT_TRUE(r.logged_prefix("copied inf to ")) << dump(r);
  EXPECT_EQ(r.final_status(), 0);
  EXPECT_TRUE(r.completed_then_status());
  EXPECT_EQ(r.exit_code, 0);
}

TEST(InstallerAgainstEngine, UnknownErrorLogsItsNumberAndSystemText) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  result r = fake_engine::run(pkg, standin_answering("0x1F"));
  EXPECT_TRUE(r.logged("unhandled error 0x1F (31)")) << dump(r);
  EXPECT_TRUE(r.logged_prefix("[31] ")) << dump(r);
  EXPECT_EQ(r.final_status(), -99);
  EXPECT_EQ(r.exit_code, -99);
}

TEST(InstallerAgainstEngine, EmptyHardwareIdSkipsTheDeviceInstallAndCopiesTheInf) {
  for (bool zero_length : {true, false}) {
    package pkg;
    pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
    options o = standin_answering("0xE000022F");  // would fail loudly if it were called
    if (zero_length) {
      o.hardware_id = std::string();
    } else {
      o.hardware_id.reset();
    }
    result r = fake_engine::run(pkg, o);
    remove_copied_inf(r);
    EXPECT_FALSE(r.logged_prefix("Installing driver for")) << dump(r);
    EXPECT_TRUE(r.logged_prefix("copied inf to ")) << dump(r);
    EXPECT_EQ(r.final_status(), 0);
    EXPECT_EQ(r.exit_code, 0);
  }
}

TEST(InstallerAgainstEngine, OversizedReplyIsRefusedAndTheNextReplyStillFits) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  for (size_t size : {511u, 512u, 1500u}) {
    options o = standin_answering("0xE000022F");
    o.device_id = std::string(size, 'D');
    result r = fake_engine::run(pkg, o);
    if (size == 511) {
      // The longest reply that leaves room for the terminator (the log line itself is cut).
      EXPECT_TRUE(r.logged_prefix("got device_id: 'DDDD")) << size;
    } else {
      EXPECT_TRUE(r.logged("failed to read device_id")) << size << dump(r);
    }
    EXPECT_TRUE(r.logged("got hardware_id: 'USB\\VID_2E3C&PID_F000&MI_00'")) << size << dump(r);
    EXPECT_EQ(r.final_status(), -19) << size;
  }
}

TEST(InstallerAgainstEngine, LogLinesAreCutTo254Characters) {
  package pkg;
  std::string long_name(400, 'n');
  pkg.write(long_name + ".inf", fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  options o = standin_answering("0xE000022F");
  o.arguments = "\"" + long_name + ".inf\"";
  result r = fake_engine::run(pkg, o);
  bool seen = false;
  for (const std::string& line : r.texts(PIPEMSG_LOG)) {
    EXPECT_LE(line.size(), 254u);
    if (line.rfind("got parameter nnnn", 0) == 0) {
      seen = true;
      EXPECT_EQ(line.size(), 254u);
    }
  }
  EXPECT_TRUE(seen) << dump(r);
}

TEST(InstallerAgainstEngine, ANonAsciiInfNameReachesTheLogInUtf8) {
  // The name in this system's 8-bit code page for the command line and file, UTF-8 in the log.
  const wchar_t wide[] = L"Korvex-T\u00EBst.inf";
  char ansi[64] = {};
  ASSERT_GT(::WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof(ansi), nullptr, nullptr), 0);
  package pkg;
  pkg.write(wine_test::narrow(wide), fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  options o = standin_answering("0xE000020B");
  o.arguments = std::string("\"") + ansi + "\"";
  result r = fake_engine::run(pkg, o);
  remove_copied_inf(r);
  EXPECT_TRUE(r.logged("got parameter Korvex-T\xC3\xABst.inf")) << dump(r);
  EXPECT_FALSE(r.logged("unable to access UTF-16 args - trying ANSI"));
  EXPECT_TRUE(r.logged_prefix("copied inf to ")) << dump(r);
  EXPECT_EQ(r.final_status(), 0);
}

// The engine asks for an unattended installation on the installer's command line: the device
// installer's restart comes back as a message of its own, after which the status stays a success.
// Without the switch (the dialog's installation) the installer asks nothing about the mode and
// logs nothing of it: the exchange is the one it always was.
TEST(InstallerAgainstEngine, UnattendedRunReportsTheRestartAndKeepsItsStatus) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  options o = standin_answering("0");
  o.environment.push_back("VELMOR_TEST_NEWDEV_RESTART=1");
  const std::string interactive_arguments = o.arguments;
  o.arguments += " " INSTALLER_UNATTENDED_SWITCH;
  o.unattended = std::string("0");  // an answer to a request that must not come would say otherwise
  result r = fake_engine::run(pkg, o);
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.logged("installation mode: unattended")) << dump(r);
  EXPECT_EQ(1u, r.texts(PIPEMSG_RESTART_NEEDED).size()) << dump(r);
  EXPECT_EQ(r.final_status(), 0) << dump(r);

  o.arguments = interactive_arguments;
  result interactive = fake_engine::run(pkg, o);
  EXPECT_FALSE(interactive.logged_prefix("installation mode")) << dump(interactive);
  EXPECT_TRUE(interactive.texts(PIPEMSG_RESTART_NEEDED).empty()) << "no restart output, nothing to report";
  EXPECT_EQ(interactive.final_status(), 0);
  for (const result* run : {&r, &interactive}) {
    for (const auto& m : run->messages) EXPECT_NE(m.type, PIPEMSG_ASK_UNATTENDED) << dump(*run);
  }
}

// The package folder is the user's to write: modules planted there under the names of the
// installer's system modules are never loaded. The device installer that answers is Wine's own
// (which succeeds without a device), not the planted stand-in (which would refuse with -19).
TEST(InstallerAgainstEngine, ModulesPlantedBesideItAreNeverLoaded) {
  package pkg;
  char inf[64];
  snprintf(inf, sizeof(inf), "Korvex-Planted-%lu-%u.inf", ::GetCurrentProcessId(),
           static_cast<unsigned>(sizeof(void*) * 8));
  pkg.write(inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  options o;
  o.arguments = std::string("\"") + inf + "\"";
  o.planted_beside = {"newdev.dll", "setupapi.dll", "cfgmgr32.dll"};
  o.environment.push_back("VELMOR_TEST_NEWDEV_ERROR=0xE000022F");
  result r = fake_engine::run(pkg, o);
  char windir[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windir, MAX_PATH);
  for (const char* extension : {".inf", ".pnf"}) {
    std::string copy = std::string(windir) + "\\inf\\" + inf;
    ::DeleteFileA((copy.substr(0, copy.size() - 4) + extension).c_str());
  }
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.logged("driver update completed")) << dump(r);
  EXPECT_FALSE(r.logged_prefix("Unable to locate")) << dump(r);
  EXPECT_EQ(r.final_status(), 0) << dump(r);
  EXPECT_EQ(r.exit_code, 0);
}

TEST(InstallerAgainstEngine, MissingInfNameEndsWithBadParameter) {
  package pkg;
  options o;
  o.arguments.clear();
  result r = fake_engine::run(pkg, o);
  EXPECT_TRUE(r.logged("missing inf_name parameter")) << dump(r);
  EXPECT_FALSE(r.logged_prefix("got parameter"));
  EXPECT_TRUE(r.texts(PIPEMSG_ASK_DEVICE_ID).empty());
  EXPECT_EQ(r.final_status(), -2);
  EXPECT_TRUE(r.completed_then_status());
  EXPECT_EQ(r.exit_code, -2);
}

TEST(InstallerAgainstEngine, MissingPolicyObjectIsLoggedAndInstallationGoesOn) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  result r = fake_engine::run(pkg, standin_answering("0xE000022F"));
  // Wine registers no local group policy object: the switch-off fails, and a setting that was never
  // switched off is not "put back" (which would delete the user's own value).
  int failures = 0;
  for (const std::string& line : r.texts(PIPEMSG_LOG)) {
    if (line == "CoCreateInstance failed; hr = 80040154") ++failures;
  }
  EXPECT_EQ(failures, 1) << dump(r);
  EXPECT_TRUE(r.logged_prefix("Installing driver for")) << dump(r);
  EXPECT_EQ(r.final_status(), -19);
}

TEST(InstallerAgainstEngine, BeforeVistaTheRestorePointPolicyIsNotTouched) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  options o = standin_answering("0xE000022F");
  // Wine reports Windows XP to a program named in its application defaults.
  char name[64];
  snprintf(name, sizeof(name), "installer_xp_%lu.exe", ::GetCurrentProcessId());
  o.program_name = name;
  std::string key = std::string("Software\\Wine\\AppDefaults\\") + name;
  ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, "winxp", 6), ERROR_SUCCESS);
  result r = fake_engine::run(pkg, o);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
  EXPECT_FALSE(r.logged_prefix("CoCreateInstance failed")) << dump(r);
  EXPECT_TRUE(r.logged_prefix("Installing driver for")) << dump(r);
  EXPECT_EQ(r.final_status(), -19);
}

// The setup log of the system's Windows folder, made by the test (Wine writes none) and removed
// after; the one of a Windows folder named by WINDIR is the caller's and never read.
struct SystemSetupLog {
  std::string path;
  SystemSetupLog() {
    char windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    path = std::string(windows) + "\\inf\\setupapi.dev.log";
  }
  ~SystemSetupLog() { ::DeleteFileA(path.c_str()); }
};

TEST(InstallerAgainstEngine, SetupLogLinesWrittenDuringTheRunAreRelayedOnce) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  SystemSetupLog system_log;
  ASSERT_TRUE(wine_test::write_file(system_log.path, "old line from before the run\r\n")) << wine_test::last_error();
  pkg.write("win\\inf\\setupapi.dev.log", "a log of the caller's\r\n");
  const std::string& log_path = system_log.path;
  options o = standin_answering("0xE000022F");
  o.environment.push_back("WINDIR=" + pkg.folder() + "win");
  o.environment.push_back("VELMOR_TEST_NEWDEV_DELAY_MS=2500");
  auto append = [&](const std::string& text) {
    HANDLE f = ::CreateFileA(log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(f);
  };
  bool written = false;
  o.on_message = [&](const fake_engine::message& m) {
    if (m.type != PIPEMSG_TIMEOUT_INFINITE || written) return;
    written = true;
    append(">>>  [Device Install - korvex]\r\n<ins>\r\n     dvi: first half of a li");
    ::Sleep(1200);  // the reader passes over the unfinished line meanwhile
    append("ne, then its end\r\n\r\n\n<< end\n");
  };
  result r = fake_engine::run(pkg, o);
  EXPECT_TRUE(r.logged("using syslog '" + log_path + "'")) << dump(r);
  EXPECT_TRUE(r.logged("syslog reader thread started"));
  EXPECT_EQ(r.texts(PIPEMSG_SYSLOG), (std::vector<std::string>{">>>  [Device Install - korvex]",
                                                              "     dvi: first half of a line, then its end",
                                                              "<< end"}))
      << dump(r);
  EXPECT_FALSE(r.logged("Unable to create syslog reader thread"));
}

// The device installer's last line lands just before it returns: the relay reads the log to its end
// before the status goes out, whatever its poll pause was.
TEST(InstallerAgainstEngine, SetupLogLinesOfTheLastSectionArriveBeforeTheStatus) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  SystemSetupLog system_log;
  ASSERT_TRUE(wine_test::write_file(system_log.path, "old line\r\n")) << wine_test::last_error();
  options o = standin_answering("0xE000022F");
  o.environment.push_back("VELMOR_TEST_NEWDEV_DELAY_MS=700");
  o.environment.push_back("VELMOR_TEST_NEWDEV_LOG_LINE=<<<  Section end");
  result r = fake_engine::run(pkg, o);
  EXPECT_EQ(r.texts(PIPEMSG_SYSLOG), (std::vector<std::string>{"<<<  Section end"})) << dump(r);
  size_t line_at = r.messages.size(), status_at = r.messages.size();
  for (size_t i = 0; i < r.messages.size(); ++i) {
    if (r.messages[i].type == PIPEMSG_SYSLOG) line_at = i;
    if (r.messages[i].type == PIPEMSG_STATUS) status_at = i;
  }
  EXPECT_LT(line_at, status_at) << dump(r);
  EXPECT_TRUE(r.logged("syslog reader thread terminating")) << dump(r);
  EXPECT_TRUE(r.completed_then_status());
  EXPECT_EQ(r.final_status(), -19);
}

// The relay never holds the log between polls: a program that needs it alone gets it, and what it
// wrote meanwhile is still relayed.
TEST(InstallerAgainstEngine, AnotherProgramCanOpenTheSetupLogExclusivelyWhileTheRelayRuns) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  SystemSetupLog system_log;
  ASSERT_TRUE(wine_test::write_file(system_log.path, "old line\r\n")) << wine_test::last_error();
  const std::string& log_path = system_log.path;
  options o = standin_answering("0xE000022F");
  o.environment.push_back("VELMOR_TEST_NEWDEV_DELAY_MS=1500");
  bool opened = false;
  o.on_message = [&](const fake_engine::message& m) {
    if (m.type != PIPEMSG_TIMEOUT_INFINITE || opened) return;
    // A poll holds the file for an instant; the moments between polls are what counts.
    HANDLE alone = INVALID_HANDLE_VALUE;
    wine_test::wait_until([&] {
      alone = ::CreateFileA(log_path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      return alone != INVALID_HANDLE_VALUE;
    }, 2000);
    if (alone == INVALID_HANDLE_VALUE) return;
    opened = true;
    static const char line[] = "written while held alone\r\n";
    DWORD written = 0;
    ::WriteFile(alone, line, sizeof(line) - 1, &written, nullptr);
    ::Sleep(300);  // several polls pass while the file is held
    ::CloseHandle(alone);
  };
  result r = fake_engine::run(pkg, o);
  EXPECT_TRUE(opened) << wine_test::last_error();
  EXPECT_EQ(r.texts(PIPEMSG_SYSLOG), (std::vector<std::string>{"written while held alone"})) << dump(r);
  EXPECT_EQ(r.final_status(), -19);
}

TEST(InstallerAgainstEngine, NoSetupLogMeansNoRelayButTheInstallationGoesOn) {
  package pkg;
  pkg.write(test_inf, fake_engine::serial_inf("USB\\VID_2E3C&PID_F000&MI_00"));
  options o = standin_answering("0xE000022F");
  result r = fake_engine::run(pkg, o);
  EXPECT_TRUE(r.logged("Could not open any syslog")) << dump(r);
  EXPECT_TRUE(r.logged("Unable to create syslog reader thread"));
  EXPECT_TRUE(r.texts(PIPEMSG_SYSLOG).empty());
  EXPECT_EQ(r.final_status(), -19);
}

}  // namespace
