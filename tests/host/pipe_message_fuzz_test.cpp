// The installer message handler over arbitrary bytes, and its replies, without Windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/install/pipe_messages.h"
#include "protocol/pipe_protocol.h"

namespace {
std::vector<std::string> replies;
const char* sid_text = "S-1-5-21-1-2-3-1000";
}  // namespace

// The replies that the Windows build writes to the pipe are collected here.
extern "C" void send_installer_reply(const char* data, uint32_t length) { replies.emplace_back(data, length); }
extern "C" char* current_user_sid_text(void) { return sid_text != nullptr ? strdup(sid_text) : nullptr; }

namespace {

class PipeMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    replies.clear();
    sid_text = "S-1-5-21-1-2-3-1000";
    saved_level_ = engine_log_level;
    saved_timeout_ = pipe_read_timeout;
    device_.instance_id = instance_;
    device_.first_hardware_id = hardware_;
    active_device = &device_;
    active_filter_mode = 0;
    active_unattended = 0;
    install_restart_needed = 0;
  }
  void TearDown() override {
    active_device = nullptr;
    active_filter_mode = 0;
    active_unattended = 0;
    install_restart_needed = 0;
    engine_log_level = saved_level_;
    pipe_read_timeout = saved_timeout_;
  }

  // The message in a heap block of exactly length + 1 bytes, as the runner's buffer guarantees.
  int handle(const std::string& message) {
    char* block = static_cast<char*>(std::malloc(message.size() + 1));
    std::memcpy(block, message.data(), message.size());
    int status = process_message(block, static_cast<uint32_t>(message.size()));
    std::free(block);
    return status;
  }

  std::string logged(const std::string& message) {
    engine_log_level = LOG_DEBUG;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    handle(message);
    engine_log_level = saved_level_;
    std::string err = testing::internal::GetCapturedStderr();
    return testing::internal::GetCapturedStdout() + err;
  }

  char instance_[48] = "USB\\VID_2E3C&PID_F000&MI_00\\6&1A2B3C4D&0&0000";
  char hardware_[48] = "USB\\VID_2E3C&PID_F000&REV_0100&MI_00";
  wdi_device_entry device_ = {};
  int saved_level_ = 0;
  uint32_t saved_timeout_ = 0;
};

std::string msg(int type, const std::string& payload = "") {
  return std::string(1, static_cast<char>(type)) + payload;
}

TEST_F(PipeMessages, StatusByteIsSignedAndZeroGoesOn) {
  EXPECT_EQ(handle(""), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(handle(msg(PIPEMSG_STATUS, std::string(1, '\0'))), 0);
  EXPECT_EQ(handle(msg(PIPEMSG_STATUS, std::string(1, static_cast<char>(-17)))), -17);
  EXPECT_EQ(handle(msg(PIPEMSG_STATUS, std::string(1, static_cast<char>(0x80)))), -128);
  EXPECT_EQ(handle(msg(PIPEMSG_STATUS, std::string(1, 5))), 5);
}

TEST_F(PipeMessages, NoActiveDeviceIsAnAssertion) {
  active_device = nullptr;
  EXPECT_EQ(handle(msg(PIPEMSG_ASK_DEVICE_ID)), WDI_ST_MISSING);
  EXPECT_TRUE(replies.empty());
}

TEST_F(PipeMessages, TextEndsAtTheFirstZeroOrAtTheMessageEnd) {
  EXPECT_NE(logged(msg(PIPEMSG_LOG, std::string("one\0two", 7))).find("[installer process] one\n"),
            std::string::npos);
  // No terminator sent: the whole payload, and nothing beyond it.
  EXPECT_NE(logged(msg(PIPEMSG_SYSLOG, "unterminated")).find("[syslog] unterminated\n"), std::string::npos);
}

TEST_F(PipeMessages, FilterModeLogsTheWholeMessageAsText) {
  active_filter_mode = 1;
  std::string out = logged("\x09raw console output");
  EXPECT_NE(out.find("Velmor:info [install-filter] \x09raw console output\n"), std::string::npos);
  EXPECT_EQ(handle(msg(PIPEMSG_ASK_DEVICE_ID)), 0);
  EXPECT_TRUE(replies.empty());
}

TEST_F(PipeMessages, MissingStringsAreOneZeroByteAndEmptyOnesAreEmpty) {
  device_.instance_id = nullptr;
  hardware_[0] = '\0';
  sid_text = nullptr;
  std::string out = logged(msg(PIPEMSG_ASK_DEVICE_ID));
  handle(msg(PIPEMSG_ASK_HARDWARE_ID));
  std::string sid_out = logged(msg(PIPEMSG_ASK_USER_SID));
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0], std::string(1, '\0'));
  EXPECT_EQ(replies[1], "");
  EXPECT_EQ(replies[2], std::string(1, '\0'));
  EXPECT_NE(out.find("Velmor:debug [process_message] no device_id - sending empty string"), std::string::npos);
  EXPECT_NE(sid_out.find("Velmor:warning [process_message] no user_sid - sending empty string"), std::string::npos);
}

// The installation mode is asked for, a needed restart is only noted: neither ends the run.
TEST_F(PipeMessages, UnattendedModeIsAnsweredAndARestartIsNoted) {
  EXPECT_EQ(handle(msg(PIPEMSG_ASK_UNATTENDED)), 0);
  active_unattended = 1;
  EXPECT_EQ(handle(msg(PIPEMSG_ASK_UNATTENDED)), 0);
  EXPECT_EQ(replies, std::vector<std::string>({"0", "1"}));
  EXPECT_EQ(install_restart_needed, 0);
  EXPECT_EQ(handle(msg(PIPEMSG_RESTART_NEEDED)), 0);
  EXPECT_EQ(install_restart_needed, 1);
}

// Arbitrary bytes, lengths and device states: no crash, no access outside the message (ASan), and
// every result one the read loop understands.
TEST_F(PipeMessages, ArbitraryBytesAreHandledSafely) {
  engine_log_level = LOG_ERROR + 1;  // quiet
  std::mt19937 random(20261208u);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> small_length(0, 8);
  std::uniform_int_distribution<int> large_length(0, 5000);
  std::uniform_int_distribution<int> coin(0, 3);
  for (int round = 0; round < 50000; ++round) {
    size_t length = coin(random) == 0 ? large_length(random) : small_length(random);
    std::string message(length, '\0');
    for (char& c : message) c = static_cast<char>(byte(random));
    if (length > 0 && coin(random) == 0) message[0] = static_cast<char>(coin(random) + 2);  // often a request
    device_.instance_id = coin(random) == 0 ? nullptr : instance_;
    device_.first_hardware_id = coin(random) == 0 ? nullptr : hardware_;
    active_device = coin(random) == 0 && round % 7 == 0 ? nullptr : &device_;
    active_filter_mode = round % 11 == 0;
    replies.clear();

    int status = handle(message);
    if (length == 0) {
      ASSERT_EQ(status, WDI_ST_BAD_PARAMETER);
      continue;
    }
    if (active_device == nullptr || active_filter_mode) {
      ASSERT_EQ(status, active_device == nullptr ? WDI_ST_MISSING : 0);
      ASSERT_TRUE(replies.empty());
      continue;
    }
    const signed char type = static_cast<signed char>(message[0]);
    if (type == PIPEMSG_STATUS && length >= 2) {
      ASSERT_EQ(status, static_cast<signed char>(message[1]));
    } else {
      ASSERT_TRUE(status == 0 || status == WDI_ST_MISSING) << status;
    }
    bool request = (type >= PIPEMSG_ASK_DEVICE_ID && type <= PIPEMSG_ASK_USER_SID) || type == PIPEMSG_ASK_UNATTENDED;
    ASSERT_EQ(replies.size(), request ? 1u : 0u);
  }
}

}  // namespace
