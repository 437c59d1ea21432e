// Ctrl+C in the console the app was started from, while an unattended /install is in the signing
// step or inside the device installer: the step under way is finished (signing) or ended and undone
// (the installation), nothing more is started, and the run exits 1602 leaving nothing behind.
// Wine delivers only CTRL_C_EVENT, and only to the sender's own process group: the app starts in
// this test's group, in a console of the test's own. Ctrl+Break and closing the console take the
// same path in the app.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "command_fixture.h"
#include "machine_changes.h"
#include "standin_session.h"
#include "test_support.h"

namespace {

const char kProbe[] = "C0DE3C0A";
const char kStopped[] = "Stopped by a console control event.";
const char kInstall[] = "/install /quiet /interfaces usart,bridge";

// The test's own process takes the event too; it goes on.
BOOL WINAPI Ignore(DWORD) { return TRUE; }

class ConsoleStop : public cmd::CommandTest {
 protected:
  void SetUp() override {
    cmd::CommandTest::SetUp();
    ASSERT_TRUE(newdev_.placed());
    // The device installer takes long enough for the stop to come inside it.
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", "0");
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", "60000");
    ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << wine_test::last_error();
    ::SetConsoleCtrlHandler(&Ignore, TRUE);
  }
  void TearDown() override {
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", nullptr);
    ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", nullptr);
    wine_test::end_installers();
    ::SetConsoleCtrlHandler(&Ignore, FALSE);
    ::FreeConsole();
    cmd::CommandTest::TearDown();
  }

  // Starts the app with `arguments`, presses Ctrl+C once its log holds `line`, and returns the
  // run's exit code and log.
  long StopAfter(const std::string& arguments, const char* line, std::string* text) {
    const std::string log = logs / "stopped.log";
    options.arguments = arguments + " /log \"" + log + "\"";
    if (!cmd::launch_app(app, options)) {
      ADD_FAILURE() << wine_test::last_error();
      return -1;
    }
    const bool reached = wine_test::wait_until(
        [&] { return wine_test::read_file(log).find(line) != std::string::npos; }, 120000);
    EXPECT_TRUE(reached) << line;
    EXPECT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << wine_test::last_error();
    // Well inside the device installer's delay: the installation was ended, not waited out.
    const long exit_code = app.wait_exit(30000);
    *text = wine_test::read_file(log);
    return exit_code;
  }

  void ExpectNothingLeft() {
    EXPECT_EQ("", wine_test::joined(wine_test::protected_folders()));
    EXPECT_EQ("", wine_test::joined(wine_test::tool_key_containers()));
    EXPECT_EQ("", wine_test::joined(wine_test::journal_records("Key containers")));
    EXPECT_EQ("", wine_test::joined(wine_test::journal_records("Restore setting")));
    EXPECT_TRUE(wine_test::installers_running().empty());
  }

  wine_test::system_module_standin newdev_{wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH), "newdev.dll", true};
};

TEST_F(ConsoleStop, InsideTheDeviceInstallerEndsAndUndoesTheInstallation) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "the device-installer stand-in is in the 64-bit system folder";
  std::string text;
  EXPECT_EQ(1602, StopAfter(kInstall, "Installing driver for", &text)) << text;
  EXPECT_NE(std::string::npos, text.find(kStopped)) << text;
  EXPECT_NE(std::string::npos, text.find("Summary: usart failed (-14); stopped")) << text;
  EXPECT_EQ(std::string::npos, text.find("Bridge driver")) << "an interface was started after the stop\n" << text;
  ExpectNothingLeft();
}

TEST_F(ConsoleStop, InTheSigningStepFinishesItAndInstallsNothing) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "the device-installer stand-in is in the 64-bit system folder";
  std::string text;
  EXPECT_EQ(1602, StopAfter(kInstall, "created new key container", &text)) << text;
  EXPECT_NE(std::string::npos, text.find(kStopped)) << text;
  EXPECT_NE(std::string::npos, text.find("successfully deleted private key")) << "the signing step was cut\n" << text;
  EXPECT_EQ(std::string::npos, text.find("Installing driver for")) << "installed after the stop\n" << text;
  ExpectNothingLeft();
}

// /extract finishes the package under way and writes no other.
TEST_F(ConsoleStop, ExtractStopsBetweenPackages) {
  std::string text;
  const std::string out = cwd / "out";
  EXPECT_EQ(1602, StopAfter("/extract \"" + out + "\"", "Korvex-USART.inf'", &text)) << text;
  EXPECT_NE(std::string::npos, text.find("Summary: usart succeeded; stopped")) << text;
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((out + "\\Usart_driver\\Korvex-USART.cat").c_str())) << text;
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((out + "\\Bridge_driver").c_str())) << text;
  EXPECT_EQ("", wine_test::joined(wine_test::tool_key_containers()));
}

}  // namespace
