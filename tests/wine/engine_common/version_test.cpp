// Runs once per Windows version the bench makes Wine report (see the test names); the expected
// results follow the detection rules from what Wine reports for that version.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/windows_version.h"
#include "test_support.h"

namespace {

struct expected_version {
  int code;
  const char* text_start;  // "Windows <name>[ SP..]"
};

const std::map<std::string, expected_version> kExpected = {
    {"default", {0x61, "Windows 7 SP1 "}},
    {"winxp", {0x51, "Windows XP SP3 "}},
    {"win2003", {0x52, "Windows 2003"}},
    {"vista", {0x60, "Windows Vista SP2 "}},
    {"win7", {0x61, "Windows 2008_R2 SP1 "}},  // Wine reports product type 3 (server) here
    {"win8", {0x62, "Windows 8 "}},
    {"win81", {0x63, "Windows 8.1 "}},
    {"win10", {0xA0, "Windows 10 "}},
};

const char* expected_bitness() {
  BOOL wow64 = FALSE;
  ::IsWow64Process(::GetCurrentProcess(), &wow64);
  return wow64 ? "64-bit" : "32 bit";
}

}  // namespace

TEST(WindowsVersion, DetectsTheVersionWineReports) {
  std::string version = wine_test::version_under_test();
  auto it = kExpected.find(version);
  ASSERT_NE(it, kExpected.end()) << version;

  detect_windows_version();
  EXPECT_EQ(windows_version_code, it->second.code) << windows_version_text;
  std::string text = windows_version_text;
  EXPECT_EQ(text.rfind(it->second.text_start, 0), 0u) << text;
  EXPECT_NE(text.find(expected_bitness()), std::string::npos) << text;

  char build[10];
  read_build_number(build);
  std::string build_part = std::string(" (Build ") + build + ")";
  bool has_build = text.find(" (Build ") != std::string::npos;
  if (windows_version_code >= 0x62 && build[0] != '\0') {
    EXPECT_EQ(text.substr(text.size() - build_part.size()), build_part) << text;
  } else {
    EXPECT_FALSE(has_build) << text;
  }
  EXPECT_LT(text.size(), 128u);
}

TEST(WindowsVersion, BuildNumberIsReadFromTheRegistry) {
  char build[10];
  read_build_number(build);
  EXPECT_STREQ(build, "7601");  // the prefix's value; per-program overrides leave it
}
