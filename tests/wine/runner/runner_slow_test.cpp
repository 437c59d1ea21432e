// The runner's read time-outs, against an allowance shortened by the engine's test hook: a silent
// installer is ended and reported as timed out, and the installer's switch to an infinite
// allowance holds across silences and into the next run.
#include "engine/common/status.h"
#include "engine/install/restore_setting.h"
#include "engine/recovery/journal.h"
#include "engine/recovery/recovery_internal.h"
#include "runner_fixture.h"
#include "short_allowance.h"

using namespace runner_test;

namespace {

class RunnerTimeouts : public ::testing::Test {
 protected:
  void SetUp() override { pipe_read_timeout_for_tests(kShortAllowanceMs); }
  void TearDown() override { pipe_read_timeout_for_tests(0); }
};

// Waits timed with a coarse clock may end a tick early.
constexpr long long kAllowanceWaited = kShortAllowanceMs * 3 / 4;

}  // namespace

TEST_F(RunnerTimeouts, SilentInstallerIsTerminatedAfterTheAllowance) {
  package_folder folder;
  test_device device;
  log_capture log;
  int status = 0;
  long long ms = timed_ms([&] { status = install(device, folder, "silent"); });
  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_GE(ms, kAllowanceWaited);
  EXPECT_LT(ms, 20000);
  EXPECT_EQ(PIPE_READ_TIMEOUT_FINITE, 10000u) << "the allowance the product gives";
  EXPECT_TRUE(log.has("Velmor:error [install_driver_internal] installer failed to respond - aborting"));
  EXPECT_FALSE(process_alive(folder.installer_pid()));
}

// Terminating it must not read back as success.
TEST_F(RunnerTimeouts, InstallerStillRunningAfterClosingThePipeIsTerminatedAndTimesOut) {
  package_folder folder;
  test_device device;
  int status = 0;
  long long ms = timed_ms([&] { status = install(device, folder, "close_and_stay"); });
  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_GE(ms, kAllowanceWaited);
  EXPECT_FALSE(process_alive(folder.installer_pid()));
}

TEST_F(RunnerTimeouts, InfiniteSwitchWaitsOutSilenceAndCarriesIntoTheNextRun) {
  package_folder folder;
  test_device device;
  ASSERT_EQ(pipe_read_timeout, pipe_read_timeout_finite());
  EXPECT_EQ(install(device, folder, "silent_infinite"), WDI_ST_OK);
  EXPECT_EQ(pipe_read_timeout, pipe_read_timeout_finite());

  EXPECT_EQ(install(device, folder, "infinite_left_on"), WDI_ST_OK);
  // A silence beyond the finite allowance, without the installer asking for it again.
  EXPECT_EQ(install(device, folder, "slow_finish"), WDI_ST_OK);
}

// An installer ended while it had restore points switched off cannot switch them back: the engine
// writes back the value found before the start, or removes the one the installer added.
TEST_F(RunnerTimeouts, EndedInstallerLeavesTheRestoreSettingAsItWas) {
  const char* key_name = "Software\\Velmor tests\\restore policy";
  restore_policy_key_for_tests = key_name;
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, key_name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (bool had_value : {true, false}) {
    SCOPED_TRACE(had_value ? "value 0 before" : "no value before");
    DWORD zero = 0;
    if (had_value) {
      ::RegSetValueExA(key, "DisableSystemRestore", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof(zero));
    } else {
      ::RegDeleteValueA(key, "DisableSystemRestore");
    }
    package_folder folder;
    test_device device;
    EXPECT_EQ(install(device, folder, "restore_off_silent"), WDI_ST_TIMED_OUT);
    DWORD value = 7;
    DWORD size = sizeof(value);
    LONG read = ::RegQueryValueExA(key, "DisableSystemRestore", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    if (had_value) {
      EXPECT_EQ(read, ERROR_SUCCESS);
      EXPECT_EQ(value, 0u);
    } else {
      EXPECT_EQ(read, ERROR_FILE_NOT_FOUND);
    }
  }
  ::RegCloseKey(key);
  ::RegDeleteKeyA(HKEY_CURRENT_USER, key_name);
  restore_policy_key_for_tests = nullptr;
}

// The state a run left that died with restore points switched off: the setting 1 in the test's own
// policy key, and `original` recorded as the machine's own setting in the test's own journal.
class RestoreSettingRecovery : public ::testing::Test {
 protected:
  static constexpr const char* kKeyName = "Software\\Velmor tests\\restore policy";
  void LeaveDeadRun(const wchar_t* original) {
    restore_policy_key_for_tests = kKeyName;
    journal_key_for_tests = L"SOFTWARE\\Velmor tests\\journal";
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kKeyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    DWORD one = 1;
    ::RegSetValueExA(key.get(), "DisableSystemRestore", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    ASSERT_TRUE(velmor::journal::add(velmor::journal::kRestoreSetting, velmor::kOriginalRecord, original, "test"));
  }
  void TearDown() override {
    key.reset();
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kKeyName);
    if (journal_key_for_tests != nullptr) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, journal_key_for_tests);
    restore_policy_key_for_tests = nullptr;
    journal_key_for_tests = nullptr;
  }
  velmor::unique_hkey key;
};

// A run that died with restore points switched off left the value from before it in the record:
// the next installation puts that back first, and only then reads the setting as the machine's.
TEST_F(RestoreSettingRecovery, DeadRunsSettingIsPutBackBeforeTheNextRunReadsIt) {
  LeaveDeadRun(L"absent");
  if (HasFatalFailure()) return;

  package_folder folder;
  test_device device;
  log_capture log;
  EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK);
  EXPECT_EQ(::RegQueryValueExA(key.get(), "DisableSystemRestore", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(log.count("put back the restore point creation setting of a run that did not finish"), 1);
  EXPECT_TRUE(velmor::journal::list(velmor::journal::kRestoreSetting).empty()) << "the run's own record is gone too";
}

// A put-back that fails keeps the record for the next run, and the warning names the failed step.
TEST_F(RestoreSettingRecovery, AFailedPutBackKeepsTheRecordAndNamesTheStep) {
  // A volatile key takes no lasting subkey: the stand-in under it cannot be created.
  const char* parent = "Software\\Velmor tests\\volatile parent";
  velmor::unique_hkey volatile_key;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, parent, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              volatile_key.put(), nullptr),
            ERROR_SUCCESS);
  restore_policy_key_for_tests = "Software\\Velmor tests\\volatile parent\\restore policy";
  journal_key_for_tests = L"SOFTWARE\\Velmor tests\\journal";
  ASSERT_TRUE(velmor::journal::add(velmor::journal::kRestoreSetting, velmor::kOriginalRecord, L"0", "test"));
  {
    log_capture log;
    velmor::recovery::put_back_dead_runs_restore_setting();
    EXPECT_EQ(log.count("could not put back the restore point creation setting of a run that did not finish "
                        "(RegCreateKeyEx failed - error 0x3fd)"),
              1)
        << log.text();
  }
  EXPECT_EQ(velmor::journal::list(velmor::journal::kRestoreSetting).size(), 1u);

  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, journal_key_for_tests);
  volatile_key.reset();
  ::RegDeleteKeyA(HKEY_CURRENT_USER, parent);
  restore_policy_key_for_tests = nullptr;
  journal_key_for_tests = nullptr;
}

// A dead run's record that recovery could not put back is the machine's own setting: the next
// installation keeps it (the value it finds now is the dead run's switched-off one) and owes its
// put-back, until one succeeds.
TEST_F(RestoreSettingRecovery, TheFirstRecordedSettingWinsUntilItIsPutBack) {
  LeaveDeadRun(L"0");
  if (HasFatalFailure()) return;
  // Writes refused (as a policy store that cannot be saved would refuse them), reads allowed.
  auto set_dacl = [&](const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    ::LocalFree(descriptor);
  };
  set_dacl("D:P(D;;KW;;;WD)(A;;KR;;;WD)");
  auto recorded = [] {
    std::string all;
    for (const auto& record : velmor::journal::list(velmor::journal::kRestoreSetting)) {
      if (record.first == velmor::kOriginalRecord) all += wine_test::narrow(record.second);
    }
    return all;
  };
  {
    package_folder folder;
    test_device device;
    log_capture log;
    EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK);
    EXPECT_EQ(log.count("could not put back the restore point creation setting of a run that did not finish"), 1)
        << log.text();
    EXPECT_EQ(recorded(), "0") << "the dead run's value, not the switched-off one found now";
  }
  set_dacl("D:P(A;;KA;;;WD)");
  {
    package_folder folder;
    test_device device;
    EXPECT_EQ(install(device, folder, "normal"), WDI_ST_OK);
    DWORD value = 7;
    DWORD size = sizeof(value);
    EXPECT_EQ(::RegQueryValueExA(key.get(), "DisableSystemRestore", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(recorded(), "");
  }
}
