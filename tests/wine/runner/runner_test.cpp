// The runner against the scripted installer, in standard mode. Run for two reported versions: the
// default (6.1: remote clients refused, inheritance by list) and winxp (neither exists there).

#include <regex>
#include <string>

#include "engine/common/status.h"
#include "engine/enumeration/config_manager.h"
#include "protocol/pipe_protocol.h"
#include "runner_fixture.h"
#include "win/imports.h"

using namespace runner_test;

namespace {
const char kSecondCallerEnv[] = "VELMOR_RUNNER_SECOND_CALLER";

DWORD waited_for_ms = 0;
DWORD WINAPI pending_installations_never_finish(DWORD timeout_ms) {
  waited_for_ms = timeout_ms;
  return WAIT_TIMEOUT;
}
}  // namespace

TEST(RunnerStandardMode, ServesTheThreeQuestionsAndReturnsTheInstallersStatus) {
  package_folder folder;
  test_device device;
  log_capture log;
  EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK);

  std::string replies = folder.read("replies.txt");
  EXPECT_EQ(replies, reply_line(device.instance_id) + "\n" + reply_line(device.hardware_id) + "\n" +
                         reply_line(own_sid_text()) + "\n");
  EXPECT_TRUE(std::regex_search(folder.read("started.txt"), std::regex("\"normal\" /pipe=[0-9a-f]{32}\n$")))
      << folder.read("started.txt");
  EXPECT_TRUE(log.has("Velmor:debug [wdi_install_driver] using standard mode"));
  EXPECT_TRUE(log.has("Velmor:debug [install_driver_internal] CMP_WaitNoPendingInstallEvents not available"));
  EXPECT_TRUE(log.has("Velmor:debug [process_message] got request for device_id"));
  EXPECT_TRUE(log.has("Velmor:debug [process_message] got request for hardware_id"));
  EXPECT_TRUE(log.has("Velmor:debug [installer process] scripted installer log line\n"));
  EXPECT_TRUE(log.has("Velmor:debug [syslog] scripted syslog line\n"));
  EXPECT_TRUE(log.has("Velmor:debug [process_message] installer process completed"));
  EXPECT_EQ(active_device, nullptr);
  EXPECT_EQ(installer_pipe, INVALID_HANDLE_VALUE);
}

TEST(RunnerStandardMode, MissingStringsGoOutAsOneZeroByteAndEmptyOnesAsNothing) {
  package_folder folder;
  test_device device;
  device.entry.instance_id = nullptr;
  device.hardware_id[0] = '\0';
  log_capture log;
  EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK);
  std::string replies = folder.read("replies.txt");
  EXPECT_EQ(replies.substr(0, replies.find('\n', replies.find('\n') + 1) + 1), "1:00\n0:\n");
  EXPECT_TRUE(log.has("Velmor:debug [process_message] no device_id - sending empty string"));
  EXPECT_FALSE(log.has("no hardware_id"));
}

TEST(RunnerStandardMode, NonZeroStatusEndsTheRunAtOnceAndLeavesTheInstallerRunning) {
  package_folder folder;
  test_device device;
  int status = 0;
  long long ms = timed_ms([&] { status = install(device, folder, "early_status"); });
  EXPECT_EQ(status, WDI_ST_BAD_INF);
  EXPECT_LT(ms, PIPE_READ_TIMEOUT_FINITE);  // not waited out
  EXPECT_TRUE(process_alive(folder.installer_pid()));
}

// After "completed", the status is the installer's last word: a 0 ends the run too, once the pipe
// is closed, whether or not the process has ended yet.
TEST(RunnerStandardMode, StatusAfterCompletionEndsTheRunBeforeTheInstallerExits) {
  package_folder folder;
  test_device device;
  log_capture log;
  EXPECT_EQ(install(device, folder, "completed_then_linger"), WDI_ST_OK);
  EXPECT_TRUE(process_alive(folder.installer_pid()));
  EXPECT_TRUE(log.has("Velmor:debug [process_message] installer process completed"));
}

// 1 is no engine status, but it is not 0 either: it ends the run like any other.
TEST(RunnerStandardMode, StatusOneEndsTheRunWithOne) {
  package_folder folder;
  test_device device;
  log_capture log;
  EXPECT_EQ(install(device, folder, "status_one"), 1);
  EXPECT_FALSE(log.has("installer failed to respond"));
  EXPECT_TRUE(process_alive(folder.installer_pid()));
}

TEST(RunnerStandardMode, LongMessageGrowsTheBufferTwiceAndIsHandledOnce) {
  package_folder folder;
  test_device device;
  log_capture log;
  EXPECT_EQ(install(device, folder, "long_log"), WDI_ST_OK);
  EXPECT_EQ(log.count(" - increasing buffer size to 1024 bytes"), 1);
  EXPECT_EQ(log.count(" - increasing buffer size to 2048 bytes"), 1);
  EXPECT_EQ(log.count("increasing buffer size"), 2);  // the 2000-byte message needs no more
  EXPECT_EQ(log.count("[installer process] " + std::string(1498, 'L') + "\n"), 1);
  EXPECT_EQ(log.count("[installer process] " + std::string(2000, 'M') + "\n"), 1);
}

TEST(RunnerStandardMode, MalformedMessagesEndTheRunWithMissing) {
  const struct {
    const char* scenario;
    const char* line;
  } cases[] = {
      {"empty_log", "Velmor:error [process_message] print_message: no data"},
      {"empty_syslog", "Velmor:error [process_message] syslog_message: no data"},
      {"empty_status", "Velmor:error [process_message] set status: no data"},
      {"type_unknown", "Velmor:error [process_message] unrecognized installer message"},
      {"type_negative", "Velmor:error [process_message] unrecognized installer message"},
  };
  for (const auto& c : cases) {
    package_folder folder;
    test_device device;
    log_capture log;
    EXPECT_EQ(install(device, folder, c.scenario), WDI_ST_MISSING) << c.scenario;
    EXPECT_TRUE(log.has(c.line)) << c.scenario;
  }
}

TEST(RunnerStandardMode, OnlyTheInstallersOwnStatusMakesASuccess) {
  const struct {
    const char* scenario;
    int status;
    bool without_status;
  } cases[] = {
      {"status_zero_then_exit1", WDI_ST_OTHER, false},  // a status of 0 lets the run go on to the exit code
      {"crash", WDI_ST_OTHER, true},
      {"no_status_exit0", WDI_ST_OTHER, true},  // exit code 0, but nothing said it installed
  };
  for (const auto& c : cases) {
    package_folder folder;
    test_device device;
    log_capture log;
    EXPECT_EQ(install(device, folder, c.scenario), c.status) << c.scenario;
    EXPECT_EQ(log.has("installer ended without sending its status"), c.without_status) << c.scenario;
  }
}

TEST(RunnerStandardMode, InstallerThatNeverConnectsEndsTheRunWithItsExitStatus) {
  package_folder folder;
  test_device device;
  log_capture log;
  int status = 0;
  long long ms = timed_ms([&] { status = install(device, folder, "never_connect"); });
  EXPECT_EQ(status, WDI_ST_OTHER);  // exit code 3
  EXPECT_LT(ms, PIPE_READ_TIMEOUT_FINITE);  // not the allowance of a client that never connects
  EXPECT_TRUE(log.has("installer exited without connecting"));
}

TEST(RunnerStandardMode, TimeoutSwitchesAreKeptAcrossRuns) {
  package_folder folder;
  test_device device;
  ASSERT_EQ(pipe_read_timeout, PIPE_READ_TIMEOUT_FINITE);
  EXPECT_EQ(install(device, folder, "infinite_left_on"), WDI_ST_OK);
  EXPECT_EQ(pipe_read_timeout, PIPE_READ_TIMEOUT_INFINITE);
  EXPECT_EQ(install(device, folder, "finite_again"), WDI_ST_OK);
  EXPECT_EQ(pipe_read_timeout, PIPE_READ_TIMEOUT_FINITE);
}

// The elevated installer is started by its full path, never through the shell, and gets none of
// the engine's inheritable handles.
TEST(RunnerStart, InstallerStartsByItsFullPathAndInheritsNothing) {
  package_folder folder;
  test_device device;
  velmor::unique_handle event(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  ASSERT_TRUE(::SetHandleInformation(event.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
  char value[32];
  std::snprintf(value, sizeof(value), "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(event.get())));
  ::SetEnvironmentVariableA("VELMOR_TEST_INHERITABLE_EVENT", value);
  int status = install(device, folder, "normal");
  ::SetEnvironmentVariableA("VELMOR_TEST_INHERITABLE_EVENT", nullptr);
  EXPECT_EQ(status, WDI_ST_OK);
  EXPECT_EQ(folder.read("inherited.txt"), "no");
  // From the folder prepared for the test's one, by its absolute path.
  const std::string program = windows_is_64bit() ? "installer_x64.exe" : "installer_x86.exe";
  EXPECT_TRUE(std::regex_search(folder.read("started.txt"),
                                std::regex("^\"[A-Za-z]:\\\\[^\"]+\\\\" + program + "\" \"normal\" /pipe=")))
      << folder.read("started.txt");
}

// The pipe's name is drawn for each run and handed to the installer: a program that makes the
// pipe of a name it can know first (the one of an earlier run, whatever number of instances it
// admits) stops no installation.
TEST(RunnerPipe, NamesTakenFirstStopNoRun) {
  package_folder first;
  test_device device;
  ASSERT_EQ(install(device, first, "normal"), WDI_ST_OK);
  std::smatch earlier;
  std::string started = first.read("started.txt");
  ASSERT_TRUE(std::regex_search(started, earlier, std::regex("/pipe=([0-9a-f]{32})"))) << started;
  for (const std::string& name : {std::string("\\\\.\\pipe\\Velmor-installer"), INSTALLER_PIPE_PREFIX + earlier[1].str()}) {
    for (DWORD instances : {DWORD{1}, DWORD{PIPE_UNLIMITED_INSTANCES}}) {
      velmor::unique_file taken(::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, instances, 4096, 4096,
                                                   0, nullptr));
      ASSERT_TRUE(taken) << wine_test::last_error();
      package_folder folder;
      EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK) << name << " " << instances;
      EXPECT_EQ(folder.read("started.txt").find(earlier[1].str()), std::string::npos) << "a name used twice";
    }
  }
}

// Another program that connects before the installer learns nothing: the run ends at its first
// message, before any reply.
TEST(RunnerPipe, ClientOtherThanTheStartedInstallerIsRefused) {
  package_folder folder;
  package_folder intruder;
  test_device device;
  log_capture log;
  int status = 1;
  wine_test::thread run([&] { status = install(device, folder, "wait_for_go"); });
  // The pipe is made before the start; the line naming it may be written after the file appears.
  std::smatch pipe;
  std::string started;
  ASSERT_TRUE(wine_test::wait_until([&] {
    started = folder.read("started.txt");
    return std::regex_search(started, pipe, std::regex("/pipe=[0-9a-f]{32}"));
  }, 20000)) << started;
  std::string program = wine_test::program_folder() + "scripted_installer.exe";
  wine_test::run_and_wait("\"" + program + "\" intruder \"" + intruder.path() + "\" " + pipe[0].str(), 30000);
  run.join();  // the waiting installer never connects: the folder's end stops it
  EXPECT_EQ(status, WDI_ST_DENIED);
  EXPECT_EQ(intruder.read("replies.txt"), "error\n");
  EXPECT_TRUE(log.has("Velmor:error [install_driver_internal] the installer pipe's client (process " +
                      intruder.read("pid.txt") + ") is not the installer"))
      << log.text();
  EXPECT_FALSE(log.has("got request for hardware_id"));
}

TEST(RunnerParameters, MissingDeviceOrInfFailsBeforeAnyPipeOrInstaller) {
  package_folder folder;
  test_device device;
  log_capture log;
  EXPECT_EQ(wdi_install_driver(&device.entry, folder.path().c_str(), nullptr, nullptr), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(wdi_install_driver(nullptr, folder.path().c_str(), "normal", nullptr), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(log.count("Velmor:error [install_driver_internal] one of the required parameter is NULL"), 2);
  EXPECT_EQ(folder.starts(), 0);
  EXPECT_EQ(installer_pipe, INVALID_HANDLE_VALUE);
  EXPECT_EQ(active_device, nullptr);
}

// Nothing is started from a folder this process did not prepare for that INF (the user's to
// change): not from the given folder, nor from TEMP without one, nor after a preparation for another.
TEST(RunnerParameters, FolderNotPreparedStartsNothing) {
  package_folder folder;
  test_device device;
  char saved[MAX_PATH] = {};
  ::GetEnvironmentVariableA("TEMP", saved, MAX_PATH);
  {
    log_capture log;
    int given = wdi_install_driver(&device.entry, folder.path().c_str(), "normal", nullptr);
    ::SetEnvironmentVariableA("TEMP", folder.path().c_str());
    int from_temp = wdi_install_driver(&device.entry, "", "normal", nullptr);
    ::SetEnvironmentVariableA("TEMP", saved);
    EXPECT_NE(adopt_as_prepared(folder.path(), "other"), "");
    int other_inf = wdi_install_driver(&device.entry, folder.path().c_str(), "normal", nullptr);
    log.text();
    EXPECT_EQ(given, WDI_ST_BAD_PARAMETER);
    EXPECT_EQ(from_temp, WDI_ST_BAD_PARAMETER);
    EXPECT_EQ(other_inf, WDI_ST_BAD_PARAMETER);
    EXPECT_EQ(log.count("Velmor:error [install_driver_internal] 'normal' in '" + folder.path() +
                        "' was not prepared by this program - nothing is started"), 3)
        << log.text();
  }
  EXPECT_EQ(folder.starts(), 0);
  EXPECT_EQ(installer_pipe, INVALID_HANDLE_VALUE);
}

TEST(RunnerParameters, MissingInstallerNamesTheBitnessItLookedFor) {
  package_folder folder;
  ::DeleteFileA(folder.file("installer_x86.exe").c_str());
  ::DeleteFileA(folder.file("installer_x64.exe").c_str());
  test_device device;
  log_capture log;
  EXPECT_EQ(install(device, folder, "normal"), WDI_ST_MISSING);
  std::string bits = expected_installer_bits();
  EXPECT_TRUE(log.has("Velmor:error [install_driver_internal] this application does not contain the required " +
                      bits + " bit installer"));
  EXPECT_TRUE(log.has("please contact the application provider for a " + bits + " bit compatible version"));
  EXPECT_EQ(installer_pipe, INVALID_HANDLE_VALUE);
}

// Wine has no pending installations, so the entry point is replaced for the case that times out.
TEST(RunnerParameters, PendingInstallationsAreWaitedForOnlyWithOptions) {
  package_folder folder;
  test_device device;
  wdi_install_options options = {};
  options.pending_wait_ms = 1234;
  ASSERT_TRUE(init_dlls());
  {
    log_capture log;
    EXPECT_EQ(install(device, folder, "normal", &options), WDI_ST_OK);
    EXPECT_FALSE(log.has("CMP_WaitNoPendingInstallEvents not available"));
  }
  velmor::imports::replace_for_test<velmor::imports::CMP_WaitNoPendingInstallEvents>(
      pending_installations_never_finish);
  {
    log_capture log;
    EXPECT_EQ(install(device, folder, "normal", &options), WDI_ST_INSTALL_PENDING);
    EXPECT_TRUE(log.has("Velmor:warning [install_driver_internal] timeout expired while waiting for another "
                        "pending installation - aborting"));
  }
  velmor::imports::replace_for_test<velmor::imports::CMP_WaitNoPendingInstallEvents>(nullptr);
  EXPECT_EQ(waited_for_ms, 1234u);
  EXPECT_EQ(folder.starts(), 1);
  EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK);  // the mutex was given back
}

// The installer of the other process's attempt is never started: the mutex refuses it first.
TEST(RunnerExclusion, SecondInstallationAnywhereGetsBusyAtOnce) {
  package_folder folder;
  test_device device;
  int first = 1;
  wine_test::thread holder([&] { first = install(device, folder, "hold"); });
  ASSERT_TRUE(wait_for_file(folder.file("connected.txt"), 20000));

  package_folder other;
  long long ms = timed_ms([&] { EXPECT_EQ(install(device, other, "normal"), WDI_ST_IN_USE); });
  EXPECT_LT(ms, PIPE_READ_TIMEOUT_FINITE);  // the holder keeps the mutex far longer

  std::string self(MAX_PATH, '\0');
  self.resize(::GetModuleFileNameA(nullptr, &self[0], MAX_PATH));
  ::SetEnvironmentVariableA(kSecondCallerEnv, other.path().c_str());
  long second = wine_test::run_and_wait("\"" + self + "\"", 30000);
  ::SetEnvironmentVariableA(kSecondCallerEnv, nullptr);
  EXPECT_EQ(second, 0) << "the second process saw something other than -6";
  EXPECT_EQ(other.starts(), 0);

  write_file(folder.file("release.txt"), "1");
  holder.join();
  EXPECT_EQ(first, WDI_ST_OK);
  EXPECT_EQ(install(device, other, "normal"), WDI_ST_OK);
}


TEST(RunnerFilterMode, StartsTheFilterInstallerWithUninstallForLibusb0AndLogsItsOutput) {
  package_folder folder;
  for (const char* sub : {"x86", "amd64"}) {
    std::string dir = folder.file(sub);
    ::CreateDirectoryA(dir.c_str(), nullptr);
    ::CopyFileA(folder.file("installer_x86.exe").c_str(), (dir + "\\install-filter.exe").c_str(), FALSE);
  }
  const std::string sub = windows_is_64bit() ? "amd64" : "x86";
  test_device device;
  wdi_install_options options = {};
  options.filter_mode = 1;
  {
    device.entry.first_upper_filter = device.upper_filter;
    log_capture log;
    int status = install(device, folder, "ignored.inf", &options);
    log.text();
    EXPECT_EQ(status, WDI_ST_OK);
    // The filter installer runs in the package folder and records its command line there.
    std::string started = folder.read("started.txt");
    EXPECT_NE(started.find(sub + "\\"), std::string::npos) << started;
    EXPECT_NE(started.find(sub + "\\\\install-filter.exe"), std::string::npos) << started;
    EXPECT_NE(started.find(std::string("uninstall -d=") + device.hardware_id), std::string::npos) << started;
    // Its output reaches the pipe: the one handle it inherits.
    EXPECT_TRUE(log.has(std::string("Velmor:info [install-filter] filter uninstall -d=") + device.hardware_id));
  }
  ::DeleteFileA(folder.file("started.txt").c_str());
  device.entry.first_upper_filter = nullptr;
  EXPECT_EQ(install(device, folder, "ignored.inf", &options), WDI_ST_OK);
  std::string started = folder.read("started.txt");
  EXPECT_NE(started.find(std::string(" install -d=") + device.hardware_id), std::string::npos) << started;
  EXPECT_EQ(active_filter_mode, 1);  // kept after the run
  EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK);
  EXPECT_EQ(active_filter_mode, 0);
}

// Started by SecondInstallationAnywhereGetsBusyAtOnce with the folder in kSecondCallerEnv, this
// program is the second process: one installation attempt, exit code 0 when the machine-wide mutex
// refused it at once, and no test.
int main(int argc, char** argv) {
  char folder[MAX_PATH] = {};
  if (::GetEnvironmentVariableA(kSecondCallerEnv, folder, MAX_PATH) != 0) {
    test_device device;
    return wdi_install_driver(&device.entry, folder, "normal", nullptr) == WDI_ST_IN_USE ? 0 : 1;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
