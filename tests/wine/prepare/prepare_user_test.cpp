// A preparation without administrator rights: the user's package with its INF and no catalog, and
// nothing left in the Windows folder's Temp, where such a user could make a protected folder but
// neither hold nor remove it.
#include <algorithm>
#include <cstring>
#include <set>

#include "administrator_standin.h"
#include "engine/common/status.h"
#include "engine/payload/extract.h"
#include "prepare_test_util.h"
#include "standin_session.h"

using namespace prepare_test;

namespace {

const device winusb(0x2E3C, 0xF000, 3, "Korvex-WinUSB");

std::set<std::string> protected_folders() {
  char windows[MAX_PATH];
  ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
  std::set<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = ::FindFirstFileA((std::string(windows) + "\\Temp\\Velmor-*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.insert(entry.cFileName); while (::FindNextFileA(find, &entry));
  ::FindClose(find);
  return names;
}

// The engine's lines, and the protected folders there were while the user's copy was written, when
// a preparation that made one would hold it.
std::string lines;
std::set<std::string> while_writing;
void watch(int, const char* line) {
  lines += line;
  lines += '\n';
  if (std::strstr(line, "successfully extracted driver files to") != nullptr) while_writing = protected_folders();
}

std::string driver_ver_line(const std::string& inf_bytes) {
  std::string text = utf16_bytes_to_utf8(inf_bytes);
  size_t at = text.find("DriverVer");
  return at == std::string::npos ? "" : text.substr(at, text.find('\r', at) - at);
}

}  // namespace

TEST(PrepareAsUser, WritesTheUsersPackageWithoutCatalogAndLeavesNoProtectedFolder) {
  ASSERT_TRUE(standin::standin_session::loaded()) << "stand-in DLLs not in use";
  standin::standin_session session;
  wdi_prepare_options o = options_for(DRIVER_KIND_WINUSB);
  scratch_dir as_admin;
  ASSERT_EQ(wdi_prepare_driver(winusb.get(), as_admin.path().c_str(), "Korvex-WinUSB.inf", &o), WDI_ST_OK);
  const std::string admin_version = driver_ver_line(read_file(as_admin.file("Korvex-WinUSB.inf")));
  ASSERT_NE(admin_version.find("6.1.7600.16385"), std::string::npos) << admin_version;

  // The version is looked up again, now without a protected folder to read it in.
  driver_version_table[DRIVER_KIND_WINUSB] = {};
  const std::set<std::string> before = protected_folders();
  const size_t catalogs = session.calls("CryptCATOpen").size();
  scratch_dir dir;
  {
    wine_test::not_an_administrator user;
    lines.clear();
    engine_log_set_receiver(watch);
    int status = wdi_prepare_driver(winusb.get(), dir.path().c_str(), "Korvex-WinUSB.inf", &o);
    engine_log_set_receiver(nullptr);
    ASSERT_EQ(status, WDI_ST_OK) << lines;
    EXPECT_NE(lines.find("Velmor:info [wdi_prepare_driver] No .cat file generated (not running Vista or later, or "
                         "missing elevated privileges)\n"),
              std::string::npos);
    EXPECT_EQ(lines.find("Velmor:error"), std::string::npos) << lines;
    // Not even made for a moment.
    EXPECT_EQ(while_writing, before);
  }
  EXPECT_EQ(driver_ver_line(read_file(dir.file("Korvex-WinUSB.inf"))), admin_version);
  EXPECT_TRUE(exists(dir.file("x86\\winusbcoinstaller2.dll")));
  EXPECT_FALSE(exists(dir.file("Korvex-WinUSB.cat")));
  EXPECT_EQ(session.calls("CryptCATOpen").size(), catalogs);
  std::set<std::string> after = protected_folders();
  std::vector<std::string> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  EXPECT_TRUE(added.empty()) << added.front();
}
