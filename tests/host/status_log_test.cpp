#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/log.h"
#include "engine/status.h"

TEST(StatusText, EveryCodeHasItsFixedText) {
  EXPECT_STREQ(wdi_status_text(WDI_ST_OK), "Success");
  EXPECT_STREQ(wdi_status_text(-1), "Input/Output error");
  EXPECT_STREQ(wdi_status_text(-6), "Requested resource busy or similar call already in progress");
  EXPECT_STREQ(wdi_status_text(-15), "Unable to run process with required administrative privileges");
  EXPECT_STREQ(wdi_status_text(-16), "Attempted to use a 32 bit installer on a 64 bit machine");
  EXPECT_STREQ(wdi_status_text(-19), "System policy has been modified to reject unsigned drivers");
  EXPECT_STREQ(wdi_status_text(-99), "Other error");
  for (int s = -19; s <= 0; ++s) {
    EXPECT_EQ(std::string(wdi_status_text(s)).rfind("Unknown", 0), std::string::npos) << s;
  }
}

TEST(StatusText, UnknownValuesUseTheFallbackBuffer) {
  EXPECT_STREQ(wdi_status_text(-20), "Unknown Error: -20");
  EXPECT_STREQ(wdi_status_text(1), "Unknown Error: 1");
  EXPECT_STREQ(wdi_status_text(-98), "Unknown Error: -98");
  EXPECT_STREQ(wdi_status_text(-100), "Unknown Error: -100");
  // The widest int still fits: 15 + 11 characters.
  EXPECT_STREQ(wdi_status_text(-2147483647 - 1), "Unknown Error: -2147483648");
  EXPECT_LE(std::string(wdi_status_text(2147483647)).size(), 36u);
}

class EngineLog : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = engine_log_level; }
  void TearDown() override { engine_log_level = saved_; }
  int saved_ = 0;
};

TEST_F(EngineLog, StartsAtInfo) { EXPECT_EQ(saved_, LOG_INFO); }

TEST_F(EngineLog, WritesTheLineFormatToTheLevelsStream) {
  engine_log_level = LOG_DEBUG;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  engine_log(LOG_INFO, "wdi_create_list", "found %d devices", 3);
  engine_log(LOG_ERROR, "wdi_create_list", "could not get hardware ID");
  engine_log(LOG_DEBUG, "f", "d");
  engine_log(LOG_WARNING, "g", "w");
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "Velmor:info [wdi_create_list] found 3 devices\n");
  EXPECT_EQ(err,
            "Velmor:error [wdi_create_list] could not get hardware ID\n"
            "Velmor:debug [f] d\n"
            "Velmor:warning [g] w\n");
}

TEST_F(EngineLog, FiltersBelowTheMinimumWithASignedCompare) {
  engine_log_level = LOG_WARNING;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  engine_log(LOG_DEBUG, "f", "dropped");
  engine_log(LOG_INFO, "f", "dropped");
  engine_log(-5, "f", "dropped");
  engine_log(LOG_WARNING, "f", "kept");
  engine_log(7, "f", "odd level");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Velmor:warning [f] kept\nVelmor:unknown [f] odd level\n");

  engine_log_level = -1;
  testing::internal::CaptureStderr();
  engine_log(-1, "f", "negative level passes a negative minimum");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Velmor:unknown [f] negative level passes a negative minimum\n");
}

TEST_F(EngineLog, FormatsEndingInALineEndLeaveAnEmptyLine) {
  testing::internal::CaptureStderr();
  engine_log(LOG_ERROR, "CreateCat", "Unable to locate %s() in %s\n", "CryptCATOpen", "wintrust");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Velmor:error [CreateCat] Unable to locate CryptCATOpen() in wintrust\n\n");
}

namespace {
std::vector<std::pair<int, std::string>> received;
void Receive(int level, const char* line) { received.emplace_back(level, line); }
}  // namespace

TEST_F(EngineLog, TheReceiverGetsEveryLevelWhileTheStreamsKeepTheMinimum) {
  engine_log_level = LOG_WARNING;
  received.clear();
  engine_log_set_receiver(Receive);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  engine_log(LOG_DEBUG, "f", "dropped %d", 1);
  engine_log(LOG_INFO, "g", "dropped");
  engine_log(LOG_ERROR, "CreateCat", "Unable to locate %s() in %s\n", "CryptCATOpen", "wintrust");
  const std::string long_text(5000, 'x');
  engine_log(LOG_WARNING, nullptr, "%s", long_text.c_str());
  engine_log_set_receiver(nullptr);
  engine_log(LOG_DEBUG, "f", "after");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Velmor:error [CreateCat] Unable to locate CryptCATOpen() in wintrust\n\n"
            "Velmor:warning [] " + long_text + "\n");
  ASSERT_EQ(4u, received.size());
  EXPECT_EQ(std::make_pair(0, std::string("Velmor:debug [f] dropped 1")), received[0]);
  EXPECT_EQ(std::make_pair(1, std::string("Velmor:info [g] dropped")), received[1]);
  EXPECT_EQ("Velmor:error [CreateCat] Unable to locate CryptCATOpen() in wintrust\n", received[2].second);
  EXPECT_EQ("Velmor:warning [] " + long_text, received[3].second);
}
