// Both commands with folders named in Chinese: the profile folder of the install command (below a
// profiles folder so named) and the current directory of the extract command. The engine reads
// every path as UTF-8, so the app must hand them on in UTF-8, not in the ANSI code page. Built
// twice (CMakeLists.txt): the extract case with the crypt stand-ins, the install case without (the
// system's device installer in the installer program needs Wine's own wintrust).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "command_fixture.h"
#include "standin_session.h"

namespace {

using UnicodeFolders = cmd::CommandTest;

const char kProbe[] = "C0DE00C1";
const wchar_t kSuccessInstall[] = L"The driver was installed successfully.";
const wchar_t kSuccessExtract[] = L"The driver was extract successfully.";

using wine_test::exists;
using wine_test::widen;

// "<folder>\驱动 用户" (driver user), created.
std::string chinese_folder(const cmd::TempFolder& in) {
  std::string path = in / "\xE9\xA9\xB1\xE5\x8A\xA8 \xE7\x94\xA8\xE6\x88\xB7";
  EXPECT_TRUE(::CreateDirectoryW(widen(path).c_str(), nullptr)) << wine_test::last_error();
  return path;
}

TEST_F(UnicodeFolders, InstallWritesThePackageIntoAProfileNamedInChinese) {
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  cmd::TempFolder profiles{"profiles-cn"};
  std::string chinese_profile = profile.move_profiles_to(chinese_folder(profiles));
  ASSERT_TRUE(::CreateDirectoryW(widen(chinese_profile).c_str(), nullptr)) << wine_test::last_error();
  Start();
  ASSERT_TRUE(cmd::wait_uid(app.dialog, cmd::uid_of(kProbe)));
  TickOnly(IDC_USART_CHECK);
  gui::click(app.dialog, IDC_INSTALL);
  std::vector<cmd::Box> boxes = cmd::collect_boxes(app, 3, 120000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(kSuccessInstall, boxes[0].text);
  EXPECT_TRUE(exists(chinese_profile + "\\Usart_driver\\Korvex-USART.inf"));
  EXPECT_TRUE(exists(chinese_profile + "\\Usart_driver\\installer_x64.exe"));
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(kProbe, 0)));
  EXPECT_EQ(0, app.close());
}

// The catalog step makes the package folder absolute itself: with the recording wintrust stand-in
// the test sees which files the catalog got, so a folder read in the wrong code page shows.
TEST_F(UnicodeFolders, ExtractWritesThePackagesIntoACurrentDirectoryNamedInChinese) {
  standin::standin_session record;
  std::string chinese_cwd = chinese_folder(cwd);
  options.current_directory = chinese_cwd;
  Start();
  gui::click(app.dialog, IDC_EXTRACT);
  std::vector<cmd::Box> boxes = cmd::collect_boxes(app, 2, 60000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(kSuccessExtract, boxes[0].text);
  for (const char* inf : {"Usart_driver\\Korvex-USART.inf", "Bridge_driver\\Korvex-Bridge.inf",
                          "WinUSB_driver\\Korvex-WinUSB.inf"}) {
    EXPECT_TRUE(exists(chinese_cwd + "\\" + inf)) << inf;
  }
  // Each catalog lists its INF among the files it hashed (a member's "File" attribute).
  int infs_in_catalogs = 0;
  for (auto& attribute : record.calls("CryptCATPutAttrInfo")) {
    const std::string& text = attribute["text"];
    if (attribute["name"] == "File" && text.size() > 4 && text.compare(text.size() - 4, 4, ".inf") == 0) {
      ++infs_in_catalogs;
    }
  }
  EXPECT_EQ(3, infs_in_catalogs) << Log();
  EXPECT_EQ(0, app.close());
}

}  // namespace
