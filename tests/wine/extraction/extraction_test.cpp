// Extraction of the payload into a package folder, and the owner-only files and folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine_log_capture.h"
#include "engine/common/status.h"
#include "engine/payload/extract.h"
#include "extraction_util.h"
#include "payload/payload_table.h"

using namespace extraction_test;

namespace {

std::string entry_bytes(const payload_entry& e) { return std::string(reinterpret_cast<const char*>(e.data), e.size); }

std::string entry_path(const std::string& root, const payload_entry& e) {
  return std::string(e.subdir) == "." ? root + "\\" + e.file_name : root + "\\" + e.subdir + "\\" + e.file_name;
}

class Extraction : public ScratchFolder {};

}  // namespace

TEST(PayloadTable, SharedEntriesPointAtOneBlock) {
  // x86 install-filter.exe, x86 libusb0.dll and amd64 libusb0_x86.dll carry the same bytes.
  EXPECT_EQ(payload_table[5].data, payload_table[6].data);
  EXPECT_EQ(payload_table[5].data, payload_table[7].data);
  EXPECT_EQ(payload_table[14].data, payload_table[15].data);
  EXPECT_NE(payload_table[0].data, payload_table[2].data);
}

TEST_F(Extraction, WritesExactlyTheTwentyFilesWithTheirBytes) {
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);

  std::vector<std::string> found = list_files(root_);
  std::set<std::string> expected;
  for (const payload_entry& e : payload_table) {
    if (e.subdir[0] == '\0') continue;
    std::string rel = std::string(e.subdir) == "." ? e.file_name : std::string(e.subdir) + "\\" + e.file_name;
    expected.insert(rel);
    EXPECT_TRUE(read_file(entry_path(root_, e)) == entry_bytes(e)) << rel;
  }
  EXPECT_EQ(found.size(), 20u);
  EXPECT_EQ(std::set<std::string>(found.begin(), found.end()), expected);
  EXPECT_FALSE(exists(root_ + "\\winusb.inf.in"));
  EXPECT_FALSE(exists(root_ + "\\usbser.cat.in"));
}

TEST_F(Extraction, SharedBlockBecomesThreeIdenticalFiles) {
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);
  std::string filter = read_file(root_ + "\\x86\\install-filter.exe");
  EXPECT_GT(filter.size(), 0u);
  EXPECT_TRUE(read_file(root_ + "\\x86\\libusb0.dll") == filter);
  EXPECT_TRUE(read_file(root_ + "\\amd64\\libusb0_x86.dll") == filter);
}

TEST_F(Extraction, ReExtractionOverwritesEveryFile) {
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);
  // Longer than the original, so a missing truncation would show.
  std::string junk(payload_table[1].size + 4096, 'J');
  ASSERT_TRUE(write_file(root_ + "\\x86\\winusbcoinstaller2.dll", junk)) << wine_test::last_error();
  ASSERT_TRUE(write_file(root_ + "\\installer_x64.exe", junk)) << wine_test::last_error();
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);
  EXPECT_TRUE(read_file(root_ + "\\x86\\winusbcoinstaller2.dll") == entry_bytes(payload_table[1]));
  EXPECT_TRUE(read_file(root_ + "\\installer_x64.exe") == entry_bytes(payload_table[19]));
}

TEST_F(Extraction, RelativeFolderLandsUnderTheCurrentDirectory) {
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(widen(root_).c_str())) << wine_test::last_error();
  int status = extract_binaries("relative\\package");
  ::SetCurrentDirectoryW(previous);
  ASSERT_EQ(status, WDI_ST_OK);
  EXPECT_TRUE(read_file(root_ + "\\relative\\package\\x86\\libusb0.sys") == entry_bytes(payload_table[8]));
  EXPECT_TRUE(exists(root_ + "\\relative\\package\\license\\libusb0\\installer_license.txt"));
  EXPECT_TRUE(exists(root_ + "\\relative\\package\\installer_x86.exe"));
}

TEST_F(Extraction, RelativeFolderTooLongForTheCurrentDirectoryIsRefused) {
  std::string deep = root_ + "\\" + std::string(199 - root_.size(), 'c');
  ASSERT_EQ(deep.size(), 200u);
  ASSERT_TRUE(::CreateDirectoryW(widen(deep).c_str(), nullptr)) << wine_test::last_error();
  std::string relative(60, 'r');  // 200 + 1 + 60 > 259: the absolute path would be cut
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(widen(deep).c_str())) << wine_test::last_error();
  wine_test::engine_log_capture capture(LOG_WARNING);
  int status = check_dir(relative.c_str());
  std::string err = capture.text();
  int fits = check_dir(std::string(58, 'f').c_str());  // 200 + 1 + 58 = 259
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(status, WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(err, "Velmor:error [check_dir] directory name is too long " + relative + "\n");
  EXPECT_FALSE(is_directory(deep + "\\" + relative.substr(0, 58)));  // no cut-off name either
  EXPECT_EQ(fits, WDI_ST_OK);
  EXPECT_TRUE(is_directory(deep + "\\" + std::string(58, 'f')));
}

TEST_F(Extraction, SubFolderThatIsAFileIsDenied) {
  ASSERT_TRUE(::CreateDirectoryW(widen(root_ + "\\pkg").c_str(), nullptr)) << wine_test::last_error();
  ASSERT_TRUE(write_file(root_ + "\\pkg\\x86", "not a folder")) << wine_test::last_error();
  std::string dir = root_ + "\\pkg";
  wine_test::engine_log_capture capture(LOG_WARNING);
  int status = extract_binaries(dir.c_str());
  std::string err = capture.text();
  EXPECT_EQ(status, WDI_ST_DENIED);
  EXPECT_NE(err.find("Velmor:error [check_dir] " + dir + "\\x86 is a file, not a directory\n"), std::string::npos) << err;
}

TEST_F(Extraction, FolderThatIsAFileIsDenied) {
  std::string file = root_ + "\\plain.txt";
  ASSERT_TRUE(write_file(file, "x")) << wine_test::last_error();
  wine_test::engine_log_capture capture(LOG_WARNING);
  EXPECT_EQ(check_dir(file.c_str()), WDI_ST_DENIED);
  EXPECT_EQ(extract_binaries(file.c_str()), WDI_ST_DENIED);
  std::string err = capture.text();
  EXPECT_NE(err.find("Velmor:error [check_dir] " + file + " is a file, not a directory\n"), std::string::npos) << err;
  EXPECT_TRUE(read_file(file) == "x");
}

// The longest payload path is "license\libusb0" + "installer_license.txt" (36 characters), so a
// folder of 221 characters still fits and 222 fails at that entry, after its folder exists.
TEST_F(Extraction, PathLengthLimitIsTwoHundredFiftySevenCharacters) {
  auto folder_of_length = [this](const std::string& tag, size_t length) {
    std::string dir = root_ + "\\" + tag;
    dir += std::string(length - dir.size(), 'd');
    return dir;
  };
  std::string fits = folder_of_length("a", 221);
  ASSERT_EQ(fits.size(), 221u);
  EXPECT_EQ(extract_binaries(fits.c_str()), WDI_ST_OK);
  EXPECT_TRUE(exists(fits + "\\license\\libusb0\\installer_license.txt"));

  std::string too_long = folder_of_length("b", 222);
  wine_test::engine_log_capture capture(LOG_WARNING);
  EXPECT_EQ(extract_binaries(too_long.c_str()), WDI_ST_NO_RESOURCE);
  std::string err = capture.text();
  std::string path = too_long + "\\license\\libusb0\\installer_license.txt";
  // The message shows the path as built, cut to 259 characters.
  EXPECT_NE(err.find("Velmor:error [extract_binaries] qualified path is too long: '" + path.substr(0, 259) + "'\n"),
            std::string::npos)
      << err;
  EXPECT_TRUE(is_directory(too_long + "\\license\\libusb0"));
  EXPECT_FALSE(exists(path));
  EXPECT_FALSE(exists(path.substr(0, 259)));
  EXPECT_TRUE(exists(too_long + "\\x86\\libusb0.sys"));  // earlier entries stay
}

TEST_F(Extraction, FileInUseStopsWithNoResource) {
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);
  std::string locked = root_ + "\\amd64\\libusb0.sys";
  velmor::unique_file hold(::CreateFileW(widen(locked).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(static_cast<bool>(hold));
  wine_test::engine_log_capture capture(LOG_WARNING);
  EXPECT_EQ(extract_binaries(root_.c_str()), WDI_ST_NO_RESOURCE);
  std::string err = capture.text();
  EXPECT_NE(err.find("Velmor:error [extract_binaries] failed to create file '" + locked + "' ("), std::string::npos)
      << err;
}

// A current directory whose UTF-8 form does not fit the engine's path buffers: a relative folder
// must not be made at the root of the drive instead.
TEST_F(Extraction, RelativeFolderUnderACurrentDirectoryTooLongInUtf8Fails) {
  std::string deep = root_ + "\\" + narrow(std::wstring(90, L'\u6587'));  // 90 characters, 270 bytes
  ASSERT_TRUE(::CreateDirectoryW(widen(deep).c_str(), nullptr));
  std::string relative = "velmor_relative_" + std::to_string(::GetCurrentProcessId());
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(widen(deep).c_str()));
  wine_test::engine_log_capture capture(LOG_WARNING);
  int status = check_dir(relative.c_str());
  int extracted = extract_binaries(relative.c_str());
  std::string err = capture.text();
  ::SetCurrentDirectoryW(previous);
  std::string at_root = std::string(1, root_[0]) + ":\\" + relative;
  bool made_at_root = is_directory(at_root);
  if (made_at_root) remove_tree(at_root);
  EXPECT_FALSE(made_at_root);
  EXPECT_LT(status, 0);
  EXPECT_LT(extracted, 0);
  EXPECT_NE(err.find("Velmor:error [check_dir] "), std::string::npos) << err;
  EXPECT_FALSE(exists(deep + "\\" + relative));
}

// A file name planted as a hard link to a file elsewhere: that file is neither emptied nor written.
TEST_F(Extraction, HardLinkedFileIsNotWrittenThrough) {
  std::string victim = root_ + "\\victim.sys";
  write_file(victim, "precious");
  std::string dir = root_ + "\\pkg";
  ASSERT_TRUE(::CreateDirectoryW(widen(dir).c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(widen(dir + "\\x86").c_str(), nullptr));
  std::string planted = dir + "\\x86\\libusb0.sys";
  ASSERT_TRUE(::CreateHardLinkW(widen(planted).c_str(), widen(victim).c_str(), nullptr)) << ::GetLastError();
  wine_test::engine_log_capture capture(LOG_WARNING);
  int status = extract_binaries(dir.c_str());
  FILE* direct = fcreate(planted.c_str(), "w");
  DWORD error = ::GetLastError();
  std::string err = capture.text();
  EXPECT_EQ(status, WDI_ST_DENIED);
  EXPECT_EQ(direct, nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  if (direct != nullptr) std::fclose(direct);
  EXPECT_NE(err.find("Velmor:error [fcreate] " + planted + " has other hard links: not writing into it\n"),
            std::string::npos) << err;
  EXPECT_TRUE(read_file(victim) == "precious");
}

#ifdef LINKED_PACKAGE_DIR
// Wine makes no junction or symbolic link of its own, but shows a Unix symbolic link to a folder
// as a reparse point by its name: the build plants one as a package's "x86" folder and one as a
// package folder itself (see CMakeLists.txt). Nothing may land in the folders they lead to.
TEST(ExtractionLinks, LinkedFoldersAreNotWrittenThrough) {
  using wine_test::windows_path;
  std::string package = windows_path(LINKED_PACKAGE_DIR);
  std::string linked_base = windows_path(LINKED_BASE_DIR);
  std::string target = windows_path(LINK_TARGET_DIR);
  wine_test::engine_log_capture capture(LOG_WARNING);
  int through_sub_folder = extract_binaries(package.c_str());
  int through_base = extract_binaries(linked_base.c_str());
  int base_checked = check_dir(linked_base.c_str());
  std::string err = capture.text();
  std::vector<std::string> landed = list_files(target);
  for (const std::string& f : landed) ::DeleteFileW(widen(target + "\\" + f).c_str());
  EXPECT_EQ(through_sub_folder, WDI_ST_DENIED);
  EXPECT_EQ(through_base, WDI_ST_DENIED);
  EXPECT_EQ(base_checked, WDI_ST_DENIED);
  EXPECT_NE(err.find("Velmor:error [check_dir] " + package + "\\x86 is a link (reparse point): not writing through it\n"),
            std::string::npos) << err;
  EXPECT_NE(err.find("Velmor:error [check_dir] " + linked_base + " is a link (reparse point): not writing through it\n"),
            std::string::npos) << err;
  EXPECT_TRUE(landed.empty()) << landed.size() << " files written through a link";
}

// Folders held for a whole package are checked once; a held folder spares the checks of what lies
// below it only, not of a sibling whose name begins with its own.
TEST(ExtractionLinks, HeldFolderSparesNoSiblingOfALikeName) {
  using wine_test::windows_path;
  std::string package = windows_path(LINKED_PACKAGE_DIR);
  std::string sibling = package + "\\x8";
  std::string linked = package + "\\x86";
  int sibling_checked = 0, linked_checked = 0;
  FILE* through = nullptr;
  wine_test::engine_log_capture capture(LOG_WARNING);
  {
    velmor::package_folders folders;
    sibling_checked = velmor::check_dir_below(package.c_str(), sibling.c_str(), folders);
    linked_checked = velmor::check_dir_below(package.c_str(), linked.c_str(), folders);
    through = velmor::fcreate_below(package.c_str(), (linked + "\\libusb0.sys").c_str(), "w", folders);
  }
  std::string err = capture.text();
  ::RemoveDirectoryW(widen(sibling).c_str());
  if (through != nullptr) std::fclose(through);
  std::vector<std::string> landed = list_files(windows_path(LINK_TARGET_DIR));
  EXPECT_EQ(sibling_checked, WDI_ST_OK);
  EXPECT_EQ(linked_checked, WDI_ST_DENIED);
  EXPECT_EQ(through, nullptr);
  EXPECT_NE(err.find(linked + " is a link (reparse point): not writing through it\n"), std::string::npos) << err;
  EXPECT_TRUE(landed.empty()) << landed.size() << " files written through a link";
}
#endif

#ifdef FULL_DISK_DIR
// A write that does not reach the disk must not be reported as a complete package.
TEST(ExtractionWrites, ShortWriteFailsTheExtraction) {
  std::string dir = std::string("Z:") + FULL_DISK_DIR;
  for (char& c : dir)
    if (c == '/') c = '\\';
  wine_test::engine_log_capture capture(LOG_WARNING);
  int status = extract_binaries(dir.c_str());
  std::string err = capture.text();
  EXPECT_EQ(status, WDI_ST_IO_FAILURE);
  EXPECT_EQ(err, "Velmor:error [extract_binaries] failed to write file '" + dir + "\\x86\\WdfCoInstaller01011.dll'\n");
  EXPECT_FALSE(exists(dir + "\\x86\\winusbcoinstaller2.dll"));  // stops at the first failure
}
#endif

TEST(ExtractionArguments, NullFolderIsABadParameter) {
  EXPECT_EQ(extract_binaries(nullptr), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(check_dir(nullptr), WDI_ST_BAD_PARAMETER);
}

class OwnedFiles : public ScratchFolder {};

TEST_F(OwnedFiles, SidIsTheTokenUser) {
  velmor::unique_hlocal sid(get_sid());
  ASSERT_TRUE(static_cast<bool>(sid));
  EXPECT_TRUE(::IsValidSid(sid.get()));
  velmor::unique_handle token;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) << wine_test::last_error();
  char buffer[256];
  DWORD size = 0;
  ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) << wine_test::last_error();
  EXPECT_TRUE(::EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid.get()));
  velmor::unique_hlocal second(get_sid());
  EXPECT_NE(second.get(), sid.get());  // a new copy each time
}

TEST_F(OwnedFiles, ExtractedFoldersAndFilesBelongToTheCurrentUser) {
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);
  velmor::unique_hlocal sid(get_sid());
  ASSERT_TRUE(static_cast<bool>(sid));
  EXPECT_TRUE(owned_by(root_ + "\\x86", sid.get()));
  EXPECT_TRUE(owned_by(root_ + "\\license\\libusb0", sid.get()));
  EXPECT_TRUE(owned_by(root_ + "\\amd64\\libusbK.sys", sid.get()));
  EXPECT_TRUE(owned_by(root_ + "\\installer_x86.exe", sid.get()));
}

TEST_F(OwnedFiles, CheckDirCreatesMissingParents) {
  std::string deep = root_ + "\\one\\two\\three";
  EXPECT_EQ(check_dir(deep.c_str()), WDI_ST_OK);
  EXPECT_TRUE(is_directory(deep));
  EXPECT_EQ(check_dir(deep.c_str()), WDI_ST_OK);  // existing
  EXPECT_EQ(check_dir(("\"" + deep + "\"").c_str()), WDI_ST_OK);  // one pair of quotes is ignored
}

TEST_F(OwnedFiles, FcreateWritesBytesUnchangedAndTruncates) {
  std::string path = root_ + "\\stream.bin";
  ASSERT_TRUE(write_file(path, std::string(100, 'z'))) << wine_test::last_error();
  FILE* f = fcreate(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("a\nb\r\n", f);
  std::fclose(f);
  EXPECT_TRUE(read_file(path) == "a\nb\r\n");
}

TEST_F(OwnedFiles, FcreateNeedsWriteAccessAndAPath) {
  std::string path = root_ + "\\never.bin";
  EXPECT_EQ(fcreate(path.c_str(), "r"), nullptr);
  EXPECT_EQ(fcreate(path.c_str(), "b"), nullptr);
  EXPECT_FALSE(exists(path));
  EXPECT_EQ(fcreate(nullptr, "w"), nullptr);
}

TEST_F(OwnedFiles, FcreateFailureKeepsTheWindowsError) {
  std::string path = root_ + "\\missing_folder\\file.bin";
  ::SetLastError(0);
  EXPECT_EQ(fcreate(path.c_str(), "w"), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(OwnedFiles, NonAsciiNamesWork) {
  std::string dir = root_ + "\\J\xC3\xBCrgen \xE6\x97\xA5\xE6\x9C\xAC";
  ASSERT_EQ(extract_binaries(dir.c_str()), WDI_ST_OK);
  EXPECT_TRUE(read_file(dir + "\\x86\\libusbK.sys") == entry_bytes(payload_table[13]));
}
