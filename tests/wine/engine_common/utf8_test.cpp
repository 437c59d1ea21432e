// The engine's UTF-8 conversions and its UTF-8 wrapper of a Windows call that takes a path.
#include <gtest/gtest.h>

#include <string>

#include "engine/common/utf8.h"
#include "test_support.h"
#include "win/handles.h"

using velmor::unique_malloc;

TEST(Utf8Conversion, RoundTripsNonAsciiText) {
  const char* text = "Korvex \xE5\x86\x99\xE5\x85\xA5 \xC3\xA9";  // CJK and Latin-1 letters
  unique_malloc<wchar_t> wide(utf8_to_utf16(text));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide.get()[7], 0x5199);
  unique_malloc<char> back(utf16_to_utf8(wide.get()));
  ASSERT_TRUE(back);
  EXPECT_STREQ(back.get(), text);
}

TEST(Utf8Conversion, EmptyOrNullTextGivesNull) {
  EXPECT_EQ(utf16_to_utf8(L""), nullptr);
  EXPECT_EQ(utf8_to_utf16(""), nullptr);
  EXPECT_EQ(utf16_to_utf8(nullptr), nullptr);
  EXPECT_EQ(utf8_to_utf16(nullptr), nullptr);
}

TEST(Utf8Wrappers, FileAttributesStripsOneEnclosingPairOfQuotes) {
  std::string folder = wine_test::program_folder();
  folder.pop_back();  // no trailing backslash
  EXPECT_NE(file_attributes_utf8(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(file_attributes_utf8(("\"" + folder + "\"").c_str()), INVALID_FILE_ATTRIBUTES);
  // A quote at one end only is passed on as part of the name.
  EXPECT_EQ(file_attributes_utf8(("\"" + folder).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(file_attributes_utf8((folder + "\"").c_str()), INVALID_FILE_ATTRIBUTES);
  // Only one pair goes.
  EXPECT_EQ(file_attributes_utf8(("\"\"" + folder + "\"\"").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(file_attributes_utf8(""), INVALID_FILE_ATTRIBUTES);
}

TEST(Utf8Wrappers, FileAttributesKeepsTheCallsLastError) {
  ::SetLastError(0);
  EXPECT_EQ(file_attributes_utf8("C:\\no\\such\\velmor\\path"), INVALID_FILE_ATTRIBUTES);
  DWORD err = ::GetLastError();
  EXPECT_TRUE(err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND) << err;
}
