// get_version_info: versions read from copies of the payload's driver files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine_log_capture.h"
#include "engine/common/status.h"
#include "engine/package/prepare.h"
#include "engine/payload/extract.h"
#include "extraction_util.h"
#include "payload/payload_table.h"

using namespace extraction_test;

namespace {

// Each test runs with TEMP pointing at its own scratch folder and an empty version cache.
class VersionInfo : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    wchar_t value[MAX_PATH] = {};
    had_temp_ = ::GetEnvironmentVariableW(L"TEMP", value, MAX_PATH) > 0;
    saved_temp_ = value;
    set_temp(root_);
    std::memset(driver_version_table, 0, sizeof(driver_version_table));
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"TEMP", had_temp_ ? saved_temp_.c_str() : nullptr);
    std::memset(driver_version_table, 0, sizeof(driver_version_table));
    ScratchFolder::TearDown();
  }
  static void set_temp(const std::string& value) { ::SetEnvironmentVariableW(L"TEMP", widen(value).c_str()); }

  std::vector<std::string> leftovers() { return list_files(root_); }

  bool had_temp_ = false;
  std::wstring saved_temp_;
};

uint64_t file_time_of(int64_t unix_seconds) { return (static_cast<uint64_t>(unix_seconds) + 11644473600ULL) * 10000000ULL; }

uint64_t file_date(const VS_FIXEDFILEINFO& info) {
  return (static_cast<uint64_t>(info.dwFileDateMS) << 32) | info.dwFileDateLS;
}

std::string version_text(const VS_FIXEDFILEINFO& info) {
  return std::to_string(HIWORD(info.dwFileVersionMS)) + "." + std::to_string(LOWORD(info.dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info.dwFileVersionLS)) + "." + std::to_string(LOWORD(info.dwFileVersionLS));
}

// The first (32-bit) entry of that name.
const payload_entry& entry_named(const char* name) {
  for (const payload_entry& e : payload_table)
    if (std::strcmp(e.file_name, name) == 0) return e;
  return payload_table[0];
}

}  // namespace

TEST_F(VersionInfo, ReadsEachDriverKindsVersionAndStampsTheEntryTime) {
  const char* expected_versions[] = {"6.1.7600.16385", "1.2.6.0", "3.0.7.0"};
  for (int kind = 0; kind <= 2; ++kind) {
    VS_FIXEDFILEINFO info = {};
    ASSERT_EQ(get_version_info(kind, &info), WDI_ST_OK) << kind;
    EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
    const payload_entry& e = entry_named(versioned_file_table[kind]);
    EXPECT_STREQ(e.subdir, "x86");  // the 32-bit file is the one read
    EXPECT_EQ(file_date(info), file_time_of(e.timestamp)) << kind;
    EXPECT_EQ(std::memcmp(&driver_version_table[kind], &info, sizeof(info)), 0);
#if VELMOR_STANDIN_PAYLOAD
    EXPECT_EQ(version_text(info), expected_versions[kind]) << kind;
#else
    (void)expected_versions;
#endif
  }
#if VELMOR_STANDIN_PAYLOAD
  // The stand-ins carry the table's times: 2020-12-02 08:28:50 UTC for the WinUSB co-installer.
  EXPECT_EQ(file_date(driver_version_table[0]), file_time_of(1606897730));
#endif
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(VersionInfo, FilledRecordIsReturnedWithoutReadingAgain) {
  VS_FIXEDFILEINFO first = {};
  ASSERT_EQ(get_version_info(1, &first), WDI_ST_OK);
  ::SetEnvironmentVariableW(L"TEMP", nullptr);  // a second read would now fail
  VS_FIXEDFILEINFO second = {};
  EXPECT_EQ(get_version_info(1, &second), WDI_ST_OK);
  EXPECT_EQ(std::memcmp(&first, &second, sizeof(first)), 0);
}

// A preparation asks with the cache's own record: it must come back filled, not emptied and read
// again.
TEST_F(VersionInfo, SupportCheckWithTheCachedRecordKeepsIt) {
  VS_FIXEDFILEINFO first = {};
  ASSERT_EQ(get_version_info(0, &first), WDI_ST_OK);
  ::SetEnvironmentVariableW(L"TEMP", nullptr);  // a second read would now fail
  EXPECT_EQ(wdi_is_driver_supported(0, &driver_version_table[0]), 1);
  EXPECT_EQ(std::memcmp(&first, &driver_version_table[0], sizeof(first)), 0);
}

TEST_F(VersionInfo, KindsWithoutFileOrOutOfRange) {
  VS_FIXEDFILEINFO info = {};
  wine_test::engine_log_capture capture(LOG_WARNING);
  EXPECT_EQ(get_version_info(3, &info), WDI_ST_MISSING);
  EXPECT_EQ(capture.text(), "");  // no log line for the CDC kind
  EXPECT_EQ(get_version_info(4, &info), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(get_version_info(-1, &info), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(get_version_info(0, nullptr), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(info.dwSignature, 0u);
}

// The copy that is read lies in a protected folder of the engine's own: TEMP is neither needed
// nor written, and a file planted there under the copy's name is neither read nor touched.
TEST_F(VersionInfo, ReadsACopyOfItsOwnNotOneInTemp) {
  std::string planted = root_ + "\\libusbK.sys";
  ASSERT_TRUE(write_file(planted, "planted")) << wine_test::last_error();
  VS_FIXEDFILEINFO info = {};
  EXPECT_EQ(get_version_info(2, &info), WDI_ST_OK);
  EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(read_file(planted), "planted");
  std::memset(driver_version_table, 0, sizeof(driver_version_table));
  ::SetEnvironmentVariableW(L"TEMP", nullptr);
  EXPECT_EQ(get_version_info(0, &info), WDI_ST_OK);
}

// A user name outside ASCII puts such characters into TEMP.
TEST_F(VersionInfo, TempWithNonAsciiCharacters) {
  std::string folder = root_ + "\\J\xC3\xBCrgen \xE6\x97\xA5\xE6\x9C\xAC";
  ASSERT_TRUE(::CreateDirectoryW(widen(folder).c_str(), nullptr)) << wine_test::last_error();
  set_temp(folder);
  VS_FIXEDFILEINFO info = {};
  EXPECT_EQ(get_version_info(0, &info), WDI_ST_OK);
  EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
  EXPECT_FALSE(exists(folder + "\\winusbcoinstaller2.dll"));
}

TEST_F(VersionInfo, StandInsSayWhatTheyAre) {
#if VELMOR_STANDIN_PAYLOAD
  // Every PE file the stand-in payload carries has a version block naming it a stand-in or a
  // placeholder.
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);
  for (const payload_entry& e : payload_table) {
    std::string name = e.file_name;
    if (e.subdir[0] == '\0' || name.find(".txt") != std::string::npos) continue;
    std::string path = std::string(e.subdir) == "." ? root_ + "\\" + name : root_ + "\\" + e.subdir + "\\" + name;
    std::wstring wpath = widen(path);
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(wpath.c_str(), &handle);
    ASSERT_GT(size, 0u) << path;
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(wpath.c_str(), 0, size, block.data())) << path << " " << wine_test::last_error();
    wchar_t* special = nullptr;
    UINT length = 0;
    bool found = ::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\SpecialBuild",
                                  reinterpret_cast<void**>(&special), &length) && special != nullptr;
    bool installer = name.rfind("installer_", 0) == 0;
    if (installer && !found) continue;  // the real installer build
    ASSERT_TRUE(found) << path;
    std::string text = narrow(special);
    EXPECT_EQ(text, installer ? "Placeholder, not the installer program" : "Stand-in, not the real file") << path;
  }
#else
  GTEST_SKIP() << "built with real payload files";
#endif
}
