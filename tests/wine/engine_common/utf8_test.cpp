// The engine's UTF-8 conversions and its UTF-8 wrappers of Windows calls that take paths and records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/common/utf8.h"
#include "test_support.h"
#include "utf8_wrappers.h"
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

TEST(Utf8Wrappers, CurrentDirectoryCountsTheTerminator) {
  char dir[MAX_PATH];
  DWORD n = current_directory_utf8(dir);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::strlen(dir) + 1);
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

TEST(Utf8Wrappers, CreateDirectoryMakesNestedFolders) {
  char temp[MAX_PATH];
  ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
  std::string base = std::string(temp) + "velmor_utf8_\xC3\xA9" + std::to_string(::GetCurrentProcessId());
  std::string dir = base + "\\a\\b";
  wine_test::remove_tree(base);  // Wine reuses process IDs: an earlier run may have left it
  EXPECT_EQ(create_directory_utf8(dir.c_str(), nullptr), ERROR_SUCCESS);
  EXPECT_NE(file_attributes_utf8(dir.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(create_directory_utf8(dir.c_str(), nullptr), ERROR_ALREADY_EXISTS);
  wine_test::remove_tree(base);
}

TEST(Utf8Wrappers, WrongRecordSizesFailWithBadLength) {
  SHELLEXECUTEINFOA sei = {};
  sei.cbSize = sizeof(sei) + 4;
  ::SetLastError(0);
  EXPECT_FALSE(shell_execute_utf8(&sei));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));

  STARTUPINFOA si = {};
  si.cb = sizeof(si) - 4;
  PROCESS_INFORMATION pi = {};
  ::SetLastError(0);
  EXPECT_FALSE(create_process_utf8("cmd.exe /c exit 0", nullptr, &si, &pi));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
}

TEST(Utf8Wrappers, RecordSizesMatchThe32BitLayoutInThe32BitBuild) {
#ifndef _WIN64
  EXPECT_EQ(sizeof(SHELLEXECUTEINFOA), 60u);
  EXPECT_EQ(sizeof(STARTUPINFOA), 68u);
#endif
}

TEST(Utf8Wrappers, ShellExecuteRunsAndReturnsTheProcess) {
  SHELLEXECUTEINFOA sei = {};
  sei.cbSize = sizeof(sei);
  sei.fMask = SEE_MASK_NOCLOSEPROCESS;
  sei.lpVerb = "runas";
  sei.lpFile = "cmd.exe";
  sei.lpParameters = "/c exit 7";
  sei.nShow = SW_HIDE;
  ASSERT_TRUE(shell_execute_utf8(&sei));
  ASSERT_NE(sei.hProcess, nullptr);
  velmor::unique_handle process(sei.hProcess);
  ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 7u);
}

TEST(Utf8Wrappers, CreateProcessRunsInTheGivenDirectory) {
  char temp[MAX_PATH];
  ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
  std::string marker = std::string(temp) + "velmor_cp_marker.txt";
  ::DeleteFileA(marker.c_str());
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(create_process_utf8("cmd.exe /c echo x> velmor_cp_marker.txt", temp, &si, &pi));
  velmor::unique_handle process(pi.hProcess), thread(pi.hThread);
  ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  EXPECT_NE(::GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  ::DeleteFileA(marker.c_str());
}
