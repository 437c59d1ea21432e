// The extract command through the real window: three packages under the current directory,
// whatever is ticked, and one box per failed package.
#include <windows.h>

#include <cstdio>
#include <string>

#include "command_fixture.h"

namespace {

using ExtractCommand = cmd::CommandTest;

struct Package {
  const char* folder;
  const char* inf;
};
const Package kPackages[] = {{"Usart_driver", "Korvex-USART.inf"},
                             {"Bridge_driver", "Korvex-Bridge.inf"},
                             {"WinUSB_driver", "Korvex-WinUSB.inf"}};

// Files of a package folder other than its INF and catalog: the driver files it carries.
int carried_files(const std::string& folder) {
  int n = static_cast<int>(wine_test::list_files(folder).size());
  for (const char* own : {"\\*.inf", "\\*.cat"}) {
    WIN32_FIND_DATAA found;
    HANDLE h = ::FindFirstFileA((folder + own).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) continue;
    do --n;
    while (::FindNextFileA(h, &found));
    ::FindClose(h);
  }
  return n;
}

TEST_F(ExtractCommand, WritesTheThreePackagesWhateverIsTicked) {
  Start();
  TickOnly(0);
  gui::click(app.dialog, IDC_EXTRACT);
  std::vector<cmd::Box> boxes = cmd::collect_boxes(app, 2, 60000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"The driver was extract successfully.", boxes[0].text);
  EXPECT_EQ(L"Driver Installation", boxes[0].caption);
  EXPECT_TRUE(boxes[0].owned_by_dialog);
  EXPECT_TRUE(boxes[0].only_ok);

  for (const Package& p : kPackages) {
    std::string folder = cwd / p.folder;
    EXPECT_TRUE(wine_test::is_file(folder + "\\" + p.inf)) << folder;
    EXPECT_EQ(20, carried_files(folder)) << folder;
    EXPECT_FALSE(wine_test::is_directory(profile / p.folder)) << "extract wrote into the profile";
  }
  // The WinUSB package follows the version rule alone (the prefix reports Windows 7).
  std::string inf = cmd::read_utf16_file(cwd / "WinUSB_driver\\Korvex-WinUSB.inf");
  EXPECT_NE(std::string::npos, inf.find("AddReg = NoDeviceInterfaceGUID"));
  EXPECT_EQ(0, app.close());
}

TEST_F(ExtractCommand, ReportsOnlyThePackageThatFailedAndWritesTheOthers) {
  // A probe whose interface 3 is a WCID one does not change what extract writes.
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe("C0DE002A", "MS_COMP_WINUSB")));
  options.version = "vista";
  ASSERT_TRUE(cwd.write("Bridge_driver", "")) << wine_test::last_error();
  Start();
  ASSERT_TRUE(cmd::wait_uid(app.dialog, cmd::uid_of("C0DE002A")));
  gui::click(app.dialog, IDC_EXTRACT);
  std::vector<cmd::Box> boxes = cmd::collect_boxes(app, 2, 60000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(0u, boxes[0].text.find(L"Bridge driver was extract failed. ")) << std::string(boxes[0].text.begin(), boxes[0].text.end());
  EXPECT_GT(boxes[0].text.size(), std::wstring(L"Bridge driver was extract failed. ").size());
  EXPECT_EQ(20, carried_files(cwd / "Usart_driver"));
  EXPECT_EQ(20, carried_files(cwd / "WinUSB_driver"));
  std::string inf = cmd::read_utf16_file(cwd / "WinUSB_driver\\Korvex-WinUSB.inf");
  EXPECT_NE(std::string::npos, inf.find("AddReg = AddDeviceInterfaceGUID")) << "Vista: no generic ID, probe or not";
  EXPECT_EQ(0, app.close());
}

}  // namespace
