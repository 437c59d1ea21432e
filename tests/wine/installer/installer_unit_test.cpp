// The installer's helpers in process, with their log lines caught on a private pipe.
#include <gtest/gtest.h>

#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "protocol/pipe_protocol.h"
#include "installer/install_messages.h"
#include "installer/installer_state.h"
#include "installer/pipe_client.h"
#include "installer/pipe_server_check.h"
#include "installer/restore_policy.h"
#include "win/restore_policy_store.h"
#include "test_support.h"
#include "win/handles.h"

namespace {

// Makes engine_pipe the client end of a private pipe and reads what the helpers send.
class CaughtLog : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[96];
    snprintf(name, sizeof(name), "\\\\.\\pipe\\velmor-installer-unit-%lu-%u", ::GetCurrentProcessId(),
             static_cast<unsigned>(sizeof(void*) * 8));
    server_.reset(::CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 65536,
                                     65536, 0, nullptr));
    ASSERT_TRUE(server_);
    engine_pipe = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(engine_pipe, INVALID_HANDLE_VALUE) << wine_test::last_error();
  }
  void TearDown() override {
    if (engine_pipe != INVALID_HANDLE_VALUE) ::CloseHandle(engine_pipe);
    engine_pipe = INVALID_HANDLE_VALUE;
  }
  // The log lines sent since the last call.
  std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (;;) {
      DWORD avail = 0;
      if (!::PeekNamedPipe(server_.get(), nullptr, 0, nullptr, &avail, nullptr) || avail == 0) break;
      char buffer[1024] = {};
      DWORD got = 0;
      if (!::ReadFile(server_.get(), buffer, sizeof(buffer) - 1, &got, nullptr)) break;
      EXPECT_EQ(buffer[0], PIPEMSG_LOG);
      EXPECT_EQ(buffer[got - 1], '\0') << "every line carries its terminator";
      out.emplace_back(buffer + 1);
    }
    return out;
  }

  velmor::unique_file server_;
};

using MapInstallError = CaughtLog;

TEST_F(MapInstallError, LinesNamingTheInfCarryItsPath) {
  EXPECT_EQ(map_install_error(2, "C:\\pkg\\a.inf"), -5);
  EXPECT_EQ(lines(), (std::vector<std::string>{"the system can not find the file specified (C:\\pkg\\a.inf)"}));
  EXPECT_EQ(map_install_error(87, "C:\\pkg\\a.inf"), -2);
  EXPECT_EQ(lines(), (std::vector<std::string>{"invalid path or hardware ID (C:\\pkg\\a.inf)"}));
  // A path holding a conversion is data, not format.
  EXPECT_EQ(map_install_error(2, "C:\\%s%n\\a.inf"), -5);
  EXPECT_EQ(lines(), (std::vector<std::string>{"the system can not find the file specified (C:\\%s%n\\a.inf)"}));
}

TEST_F(MapInstallError, UnknownCodeLogsNumberAndSystemText) {
  EXPECT_EQ(map_install_error(0xE0000101, "x"), -99);
  std::vector<std::string> got = lines();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "unhandled error 0xE0000101 (-536870655)");
  // The system's text, or the fallback naming the code where the system has none (Wine).
  EXPECT_NE(got[1].find("3758096641"), std::string::npos) << got[1];
}

TEST(InstallerErrorText, TagsTheCodeAndStripsLineEnds) {
  std::string text = installer_error_text(5);
  EXPECT_EQ(text.rfind("[5] ", 0), 0u) << text;
  EXPECT_GT(text.size(), 4u);
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  // 0 reads the thread's last error.
  ::SetLastError(2);
  text = installer_error_text(0);
  EXPECT_EQ(text.rfind("[2] ", 0), 0u) << text;
}

TEST(InstallerErrorText, AnUnknownMessageFallsBackWithoutTheTag) {
  // Nothing in the system's message table for this HRESULT.
  std::string text = installer_error_text(0x8ABC1234);
  EXPECT_EQ(text.rfind("Windows error code 2327581236 (FormatMessage error code ", 0), 0u) << text;
  EXPECT_LT(text.size(), 256u);
}

// The restore-point policy, on a key of the test's own that stands in for the policy's settings key.
class RestoreSetting : public CaughtLog {
 protected:
  void SetUp() override {
    CaughtLog::SetUp();
    snprintf(key_path_, sizeof(key_path_), "Software\\Velmor\\InstallerTests\\%lu-%u", ::GetCurrentProcessId(),
             static_cast<unsigned>(sizeof(void*) * 8));
    restore_policy_key_for_tests = key_path_;
    saved_restore_setting = -1;
  }
  void TearDown() override {
    restore_policy_key_for_tests = nullptr;
    ::RegDeleteTreeA(HKEY_CURRENT_USER, key_path_);
    saved_restore_setting = -1;
    CaughtLog::TearDown();
  }
  // The value under the settings key: -1 when absent.
  long value() {
    DWORD v = 0, size = sizeof(v);
    if (::RegGetValueA(HKEY_CURRENT_USER, key_path_, "DisableSystemRestore", RRF_RT_REG_DWORD, nullptr, &v, &size) !=
        ERROR_SUCCESS) {
      return -1;
    }
    return static_cast<long>(v);
  }
  void plant(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, key_path_, "DisableSystemRestore", type, data, size), ERROR_SUCCESS);
  }
  void apply(bool disable) {
    EXPECT_TRUE(set_restore_point_policy(disable));
    EXPECT_EQ(lines(), (std::vector<std::string>{std::string("successfully ") + (disable ? "disabled" : "restored") +
                                                 " the system restore point creation setting"}));
  }

  char key_path_[128] = {};
};

TEST_F(RestoreSetting, AnAbsentValueIsDeletedAgainAfterwards) {
  apply(true);
  EXPECT_EQ(value(), 1);
  EXPECT_EQ(saved_restore_setting, -1);
  apply(false);
  EXPECT_EQ(value(), -1);
}

TEST_F(RestoreSetting, AnExistingKeyWithoutTheValueAlsoEndsWithoutIt) {
  velmor::unique_hkey k;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, key_path_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr),
            ERROR_SUCCESS);
  apply(true);
  EXPECT_EQ(value(), 1);
  apply(false);
  EXPECT_EQ(value(), -1);
}

TEST_F(RestoreSetting, AnExistingValueIsWrittenBack) {
  for (DWORD old : {0u, 1u, 7u}) {
    plant(REG_DWORD, &old, sizeof(old));
    saved_restore_setting = -1;
    apply(true);
    EXPECT_EQ(value(), 1);
    EXPECT_EQ(saved_restore_setting, static_cast<int32_t>(old));
    // A second switch-off keeps the first saved value.
    apply(true);
    EXPECT_EQ(saved_restore_setting, static_cast<int32_t>(old));
    apply(false);
    EXPECT_EQ(value(), static_cast<long>(old));
  }
}

TEST_F(RestoreSetting, AValueOfAnotherTypeIsLoggedAndNotWrittenBackAsOurs) {
  plant(REG_SZ, "1", 2);
  EXPECT_TRUE(set_restore_point_policy(true));
  EXPECT_EQ(saved_restore_setting, -1);
  EXPECT_EQ(lines(), (std::vector<std::string>{"failed to read original DisableSystemRestore value - error d",
                                               "successfully disabled the system restore point creation setting"}));
  apply(false);
  EXPECT_EQ(::RegGetValueA(HKEY_CURRENT_USER, key_path_, "DisableSystemRestore", RRF_RT_ANY, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RestoreSetting, PuttingBackWithNothingToDeleteIsReported) {
  EXPECT_FALSE(set_restore_point_policy(false));
  EXPECT_EQ(lines(), (std::vector<std::string>{"RegSetValueEx / RegDeleteValue failed - error 2",
                                               "unable to apply DisableSystemRestore policy - error 0"}));
}

// A reading saves nothing, so it creates nothing either; a missing key is an absent value.
TEST_F(RestoreSetting, ReadingAMissingKeyFindsNoValueAndCreatesNoKey) {
  velmor::restore_setting found{true, 5};
  velmor::restore_policy_result r = velmor::read_restore_policy(&found);
  EXPECT_TRUE(r.reached());
  EXPECT_EQ(r.read_error, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(found.present);
  velmor::unique_hkey k;
  EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, key_path_, 0, KEY_READ, k.put()), ERROR_FILE_NOT_FOUND);
}

// The impersonation level a pipe server gets of a client end opened by `open` (-1: none).
int server_view_of(const std::function<HANDLE(const char*)>& open) {
  char name[96];
  snprintf(name, sizeof(name), "\\\\.\\pipe\\velmor-installer-sqos-%lu-%u", ::GetCurrentProcessId(),
           static_cast<unsigned>(sizeof(void*) * 8));
  velmor::unique_file server(::CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                                4096, 4096, 0, nullptr));
  velmor::unique_file client(open(name));
  if (!server || !client) return -1;
  // A server may impersonate only once it has read from the pipe.
  velmor::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov = {};
  ov.hEvent = event.get();
  DWORD n = 0;
  if (!::WriteFile(client.get(), "x", 1, &n, &ov) && ::GetLastError() == ERROR_IO_PENDING) {
    ::GetOverlappedResult(client.get(), &ov, &n, TRUE);
  }
  char byte = 0;
  if (!::ReadFile(server.get(), &byte, 1, &n, nullptr) || !::ImpersonateNamedPipeClient(server.get())) return -1;
  int level = -1;
  HANDLE token = nullptr;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    SECURITY_IMPERSONATION_LEVEL value = SecurityAnonymous;
    DWORD size = 0;
    if (::GetTokenInformation(token, TokenImpersonationLevel, &value, sizeof(value), &size)) level = value;
    ::CloseHandle(token);
  }
  ::RevertToSelf();
  return level;
}

// The engine's end of the pipe may identify the installer but never act as it.
TEST(PipeOpenClient, LimitsTheServerToIdentification) {
  int control = server_view_of([](const char* name) {
    return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS, nullptr);
  });
  if (control != SecurityAnonymous) {
    GTEST_SKIP() << "this system ignores the client's impersonation level (gave " << control
                 << " for an anonymous client; Wine 8.0 always gives SecurityImpersonation)";
  }
  EXPECT_EQ(server_view_of(pipe_open_client), SecurityIdentification);
}

// The installer talks only to a server of an administrator or the system account. Under Wine every
// process is an administrator (by group: its token's owner is the user), so only the trusted case
// and a handle whose server cannot be named are shown.
TEST(PipeServerCheck, ServerOfAnAdministratorIsTrustedAndAnUnnamedOneIsNot) {
  char name[96];
  snprintf(name, sizeof(name), "\\\\.\\pipe\\velmor-server-check-%lu", ::GetCurrentProcessId());
  velmor::unique_file server(::CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 512, 512, 0, nullptr));
  ASSERT_TRUE(server);
  velmor::unique_file client(pipe_open_client(name));
  ASSERT_TRUE(client) << wine_test::last_error();
  EXPECT_TRUE(pipe_server_is_trusted(client.get()));
  wine_test::temp_folder folder("server-check");
  velmor::unique_file file(::CreateFileA((folder / "not-a-pipe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(file);
  EXPECT_FALSE(pipe_server_is_trusted(file.get()));
}

TEST_F(CaughtLog, RequestIdRefusesUnknownTypes) {
  EXPECT_EQ(request_id(5), nullptr);
  EXPECT_EQ(request_id(1), nullptr);
  EXPECT_EQ(lines(), (std::vector<std::string>{"req_id: unknown ID requested", "req_id: unknown ID requested"}));
}

}  // namespace
