// The runner's read time-outs: each case waits out the installer's 10-second allowance once.
#include "engine/common/status.h"
#include "runner_fixture.h"

using namespace runner_test;

TEST(RunnerTimeouts, SilentInstallerIsTerminatedAfterTenSeconds) {
  package_folder folder;
  test_device device;
  log_capture log;
  int status = 0;
  long long ms = timed_ms([&] { status = install(device, folder, "silent"); });
  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_GE(ms, 9500);
  EXPECT_LT(ms, 20000);
  EXPECT_TRUE(log.has("Velmor:error [install_driver_internal] installer failed to respond - aborting"));
  EXPECT_FALSE(process_alive(folder.installer_pid()));
}

// Terminating it must not read back as success.
TEST(RunnerTimeouts, InstallerStillRunningAfterClosingThePipeIsTerminatedAndTimesOut) {
  package_folder folder;
  test_device device;
  int status = 0;
  long long ms = timed_ms([&] { status = install(device, folder, "close_and_stay"); });
  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_GE(ms, 9500);
  EXPECT_FALSE(process_alive(folder.installer_pid()));
}

TEST(RunnerTimeouts, InfiniteSwitchWaitsOutSilenceAndCarriesIntoTheNextRun) {
  package_folder folder;
  test_device device;
  ASSERT_EQ(pipe_read_timeout, PIPE_READ_TIMEOUT_FINITE);
  EXPECT_EQ(install(device, folder, "silent_infinite"), WDI_ST_OK);
  EXPECT_EQ(pipe_read_timeout, PIPE_READ_TIMEOUT_FINITE);

  EXPECT_EQ(install(device, folder, "infinite_left_on"), WDI_ST_OK);
  // Eleven silent seconds, without the installer asking for them.
  EXPECT_EQ(install(device, folder, "slow_finish"), WDI_ST_OK);
  pipe_read_timeout = PIPE_READ_TIMEOUT_FINITE;
}
