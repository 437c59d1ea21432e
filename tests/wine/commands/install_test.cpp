// The install command through the real window: the progress window, the installer child process,
// retries and the closing boxes, the probe it targets, and the refresh kept out meanwhile.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "co_installer_feeder.h"
#include "command_fixture.h"

namespace {

using cmd::Box;

const wchar_t kCaption[] = L"Driver Installation";
const wchar_t kSuccess[] = L"The driver was installed successfully.";
const wchar_t kBusy[] = L"Requested resource busy or similar call already in progress";

// Probe instances: the lab plants USB\VID_2E3C&PID_F000&MI_0n\6&<instance>&0&000n.
const char kProbeA[] = "C0DE000A";
const char kProbeB[] = "C0DE000B";
const char kProbeC[] = "C0DE000C";

using InstallCommand = cmd::CommandTest;
using cmd::HeldMutex;
using cmd::uid_of;

// Caption, owner and buttons; the icon is checked on a real display (box_icon_test).
void ExpectBoxForm(const Box& box) {
  EXPECT_EQ(kCaption, box.caption);
  EXPECT_TRUE(box.owned_by_dialog);
  EXPECT_TRUE(box.only_ok);
}


TEST_F(InstallCommand, InstallsTheShownProbeThroughTheProgressWindowAndTheInstaller) {
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeA)));
  wine_test::co_installer_feeder feeder(COINSTALLER_UNIX_DIR);
  Start();
  ASSERT_TRUE(cmd::wait_uid(app.dialog, uid_of(kProbeA)));
  EXPECT_EQ(L"Usart driver not installed", gui::control_text(app.dialog, IDC_USART_STATUS));

  gui::click(app.dialog, IDC_INSTALL);
  HWND progress = gui::wait_window(L"Installing Driver...", app.pid, 30000);
  ASSERT_NE(nullptr, progress) << "no progress window";
  EXPECT_FALSE(::IsWindowEnabled(app.dialog)) << "the dialog stays usable during the installation";

  std::vector<Box> boxes = cmd::collect_boxes(app, 3, 120000);
  ASSERT_FALSE(boxes.empty());
  for (const Box& box : boxes) std::printf("box after %lu ms: %ls\n", box.after_ms, box.text.c_str());
  // Wine's device installer accepts the packages: one success box.
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(kSuccess, boxes[0].text);
  ExpectBoxForm(boxes[0]);

  // The packages went into the profile, and the probe's nodes got the drivers.
  EXPECT_TRUE(wine_test::is_file(profile / "Usart_driver\\Korvex-USART.inf"));
  EXPECT_TRUE(wine_test::is_file(profile / "Bridge_driver\\Korvex-Bridge.inf"));
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(kProbeA, 0)));
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(kProbeA, 4)));
  EXPECT_TRUE(wine_test::is_file(profile / "WinUSB_driver\\Korvex-WinUSB.inf"));
  EXPECT_EQ("WinUSB", cmd::service_of(velmor_lab::probe_interface_id(kProbeA, 3)));

  // The next refresh shows what the installation changed.
  EXPECT_TRUE(gui::wait_until(
      [&] { return gui::control_text(app.dialog, IDC_USART_STATUS) == L"Usart driver has been installed"; }, 5000));
  EXPECT_EQ(L"Bridge driver has been installed", gui::control_text(app.dialog, IDC_BRIDGE_STATUS));
  EXPECT_EQ(L"WinUSB driver has been installed", gui::control_text(app.dialog, IDC_WINUSB_STATUS));
  EXPECT_EQ(0, app.close());
}

TEST_F(InstallCommand, NoBoxTickedInstallsNothingAndReportsSuccess) {
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeA)));
  Start();
  TickOnly(0);
  gui::click(app.dialog, IDC_INSTALL);
  std::vector<Box> boxes = cmd::collect_boxes(app, 2, 3000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(kSuccess, boxes[0].text);
  ExpectBoxForm(boxes[0]);
  EXPECT_EQ(0u, wine_test::list_files(profile.path()).size()) << "an engine call wrote into the profile";
  EXPECT_EQ(0, app.close());
}

TEST_F(InstallCommand, EveryInterfaceFailingCostsThreeAttemptsAndReportsInTheOrderZeroFourThree) {
  HeldMutex busy("Global\\wdi_prepare_driver");
  ASSERT_NE(nullptr, busy.handle);
  Start();
  gui::click(app.dialog, IDC_INSTALL);
  std::vector<Box> boxes = cmd::collect_boxes(app, 4, 40000);
  DWORD to_first_box = boxes.empty() ? 0 : boxes[0].after_ms;
  std::printf("all three interfaces failing: first box after %lu ms (9 attempts, 9 pauses of %u ms)\n",
              to_first_box, cmd::kRetryPauseMs);
  ASSERT_EQ(3u, boxes.size());
  EXPECT_EQ(std::wstring(L"Usart driver installation failed. ") + kBusy, boxes[0].text);
  EXPECT_EQ(std::wstring(L"Bridge driver installation failed. ") + kBusy, boxes[1].text);
  EXPECT_EQ(std::wstring(L"WinUSB driver installation failed. ") + kBusy, boxes[2].text);
  for (const Box& box : boxes) ExpectBoxForm(box);
  // Nine pauses; a loose bound for a loaded machine.
  EXPECT_GE(to_first_box, 9 * cmd::kRetryPauseMs - 500);
  EXPECT_EQ(0, app.close());
}

TEST_F(InstallCommand, OneInterfaceSucceedingAmongFailuresGetsNoBox) {
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeA)));
  // Files where the USART and WinUSB package folders belong: those preparations fail.
  for (const char* name : {"Usart_driver", "WinUSB_driver"}) {
    ASSERT_TRUE(profile.write(name, "")) << wine_test::last_error();
  }
  Start();
  ASSERT_TRUE(cmd::wait_uid(app.dialog, uid_of(kProbeA)));
  gui::click(app.dialog, IDC_INSTALL);
  std::vector<Box> boxes = cmd::collect_boxes(app, 3, 60000);
  for (const Box& box : boxes) std::printf("box after %lu ms: %ls\n", box.after_ms, box.text.c_str());
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(0u, boxes[0].text.find(L"Usart driver installation failed. "));
  EXPECT_EQ(0u, boxes[1].text.find(L"WinUSB driver installation failed. "));
  EXPECT_GT(boxes[0].text.size(), std::wstring(L"Usart driver installation failed. ").size()) << "no status text";
  EXPECT_GE(boxes[0].after_ms, 6 * cmd::kRetryPauseMs) << "two interfaces, three failed attempts each";
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(kProbeA, 4)));
  EXPECT_EQ("", cmd::service_of(velmor_lab::probe_interface_id(kProbeA, 0)));
  EXPECT_EQ(0, app.close());
}

// Without a usable profile folder the interface fails with a clear status; nothing is written to
// the root of the drive, the current directory or USERPROFILE (the caller's to set) instead.
TEST_F(InstallCommand, ProfileTooLongFailsThatInterface) {
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeA)));
  cmd::TempFolder environment_profile{"userprofile"};
  options.profile = environment_profile.path();
  ASSERT_FALSE(profile.move_profiles_to(profile.path() + "\\" + std::string(300, 'p')).empty());
  Start();
  TickOnly(IDC_WINUSB_CHECK);
  gui::click(app.dialog, IDC_INSTALL);
  std::vector<Box> boxes = cmd::collect_boxes(app, 2, 15000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"WinUSB driver installation failed. Overflow", boxes[0].text);
  EXPECT_EQ(0, app.close());
  EXPECT_NE(std::string::npos, Log().find("the user's profile folder is longer than 255 characters")) << Log();

  EXPECT_FALSE(wine_test::is_directory("C:\\WinUSB_driver"));
  EXPECT_EQ(0u, wine_test::list_files(cwd.path()).size());
  EXPECT_EQ(0u, wine_test::list_files(environment_profile.path()).size());
  EXPECT_EQ(0u, wine_test::list_files(profile.path()).size());
}

}  // namespace
