// The engine's text for a Windows error: tagged with its code, without the system's line ends, bounded,
// and the thread's last error for code 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "engine/error_text.h"

TEST(WindowsErrorText, TagsCodeAndStripsLineEnds) {
  std::string text = windows_error_text(5);
  EXPECT_EQ(text.rfind("[#00000005] ", 0), 0u) << text;
  EXPECT_GT(text.size(), std::strlen("[#00000005] "));
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
}

TEST(WindowsErrorText, ZeroMeansTheThreadsLastError) {
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  std::string text = windows_error_text(0);
  EXPECT_EQ(text.rfind("[#00000002] ", 0), 0u) << text;
}

TEST(WindowsErrorText, CodeWithoutMessageGetsAFallbackWithoutTag) {
  std::string text = windows_error_text(0x2E3CF00Du);
  EXPECT_TRUE(text.rfind("Windows error code 775745549 (FormatMessage error code ", 0) == 0 ||
              text.rfind("Unknown error code 775745549", 0) == 0)
      << text;
}

TEST(WindowsErrorText, StaysTerminatedWithinItsBuffer) {
  for (uint32_t code : {1u, 5u, 87u, 1168u, 0xE000020Bu, 0x80090016u}) {
    EXPECT_LT(std::strlen(windows_error_text(code)), 256u);
  }
}
