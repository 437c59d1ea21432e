// Which probe and which package the install command works for: the shown probe of two, the
// WinUSB generic-ID decision, and the probe records kept still while the installer runs.
#include <windows.h>

#include <cstdio>
#include <string>

#include "command_fixture.h"
#include "engine/install/install.h"
#include "test_support.h"

namespace {

using cmd::HeldMutex;
using cmd::uid_of;
using TargetTest = cmd::CommandTest;

const char kProbeA[] = "C0DE001A";
const char kProbeB[] = "C0DE001B";
const char kProbeC[] = "C0DE001C";
const wchar_t kBusy[] = L"Requested resource busy or similar call already in progress";

TEST_F(TargetTest, InstallsForTheShownProbeOfTwo) {
  ASSERT_TRUE(cmd::plant_tagged_probe(kProbeA, "0001"));
  ASSERT_TRUE(cmd::plant_tagged_probe(kProbeB, "0002"));
  Start();
  ASSERT_TRUE(gui::wait_until([&] { return gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size() == 2; }, 10000));
  ASSERT_TRUE(cmd::wait_uid(app.dialog, uid_of(kProbeA))) << "the first probe is shown first";
  cmd::select_row(app.dialog, 1);
  ASSERT_TRUE(cmd::wait_uid(app.dialog, uid_of(kProbeB)));
  // A tick between the choice and the click keeps the choice (found again by UID).
  ::Sleep(1500);
  ASSERT_EQ(uid_of(kProbeB), gui::control_text(app.dialog, IDC_UID_EDIT));

  TickOnly(IDC_USART_CHECK);
  gui::click(app.dialog, IDC_INSTALL);
  std::vector<cmd::Box> boxes = cmd::collect_boxes(app, 3, 60000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"The driver was installed successfully.", boxes[0].text);
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(kProbeB, 0)));
  EXPECT_EQ("", cmd::service_of(velmor_lab::probe_interface_id(kProbeA, 0))) << "the other probe was installed";
  EXPECT_EQ(0, app.close());
}

// The WinUSB package of one run: the installation is held off (its busy mutex), so the package
// prepared for it stays as the decision made it.
struct GenericIdCase {
  const char* version;
  const char* mi3_compat;  // null: no probe attached
  bool generic;
};

class GenericIdDecision : public cmd::CommandTest, public ::testing::WithParamInterface<GenericIdCase> {};

TEST_P(GenericIdDecision, FollowsTheShownProbeElseTheVersion) {
  const GenericIdCase& c = GetParam();
  if (c.mi3_compat != nullptr) {
    ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeC, c.mi3_compat)));
  }
  options.version = c.version;
  HeldMutex installing(WDI_INSTALL_MUTEX_NAME);
  ASSERT_NE(nullptr, installing.handle);
  Start();
  if (c.mi3_compat != nullptr) {
    ASSERT_TRUE(cmd::wait_uid(app.dialog, uid_of(kProbeC)));
  }
  TickOnly(IDC_WINUSB_CHECK);
  gui::click(app.dialog, IDC_INSTALL);
  std::vector<cmd::Box> boxes = cmd::collect_boxes(app, 2, 30000);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(std::wstring(L"WinUSB driver installation failed. ") + kBusy, boxes[0].text);
  EXPECT_EQ(0, app.close());

  std::string inf = cmd::read_utf16_file(profile / "WinUSB_driver\\Korvex-WinUSB.inf");
  ASSERT_FALSE(inf.empty());
  EXPECT_NE(std::string::npos, inf.find(c.generic ? "AddReg = NoDeviceInterfaceGUID" : "AddReg = AddDeviceInterfaceGUID"))
      << inf.substr(0, 400);
  EXPECT_NE(std::string::npos, inf.find(c.generic ? "DeviceID   = \"MS_COMP_WINUSB\"" : "DeviceID   = \"VID_2E3C&PID_F000&MI_03\""));
}

INSTANTIATE_TEST_SUITE_P(Cases, GenericIdDecision,
                         ::testing::Values(GenericIdCase{"vista", "MS_COMP_WINUSB", true},
                                           GenericIdCase{"win10", "Class_FF&SubClass_5D", false},
                                           GenericIdCase{"vista", nullptr, false},
                                           GenericIdCase{"win7", nullptr, true}),
                         [](const ::testing::TestParamInfo<GenericIdCase>& info) {
                           return std::string(info.param.version) + (info.param.mi3_compat ? "_probe" : "_no_probe") +
                                  std::to_string(info.index);
                         });

// The installer is held in the device installer for seconds (the stand-in in the 64-bit system
// folder, where the 64-bit installer takes it from); meanwhile the lab unplugs the shown probe and
// plugs two others. The dialog's timer keeps ticking through the progress window, yet nothing of
// the shown probe changes until the command is over.
TEST_F(TargetTest, TicksDuringTheInstallationLeaveTheProbesAlone) {
  const std::string standin = wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH);
  ASSERT_TRUE(wine_test::is_file(standin)) << standin << " (build the win64 tree)";
  wine_test::system_module_standin newdev(standin, "newdev.dll", true);
  ASSERT_TRUE(newdev.placed()) << standin;
  // The stand-in fails after its delay with a code the installer maps to "already installed",
  // which ends the installation as a success.
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", "5000");
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", "0x240006");
  const std::string record = logs / "newdev.txt";
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", record.c_str());

  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeA)));
  Start();
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", nullptr);
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", nullptr);
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", nullptr);
  ASSERT_TRUE(cmd::wait_uid(app.dialog, uid_of(kProbeA)));
  TickOnly(IDC_USART_CHECK);

  gui::click(app.dialog, IDC_INSTALL);
  ASSERT_NE(nullptr, gui::wait_window(L"Installing Driver...", app.pid, 30000));
  ASSERT_TRUE(velmor_lab::unplug_probe(kProbeA));
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeB)));
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbeC)));
  // Three ticks' time while the installer is held.
  for (int i = 0; i < 6; ++i) {
    ::Sleep(500);
    EXPECT_EQ(1u, gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size()) << "the rows were rebuilt";
    EXPECT_EQ(uid_of(kProbeA), gui::control_text(app.dialog, IDC_UID_EDIT)) << "the probe view changed";
  }
  std::vector<cmd::Box> boxes = cmd::collect_boxes(app, 2, 60000);
  ASSERT_FALSE(boxes.empty());
  for (const cmd::Box& box : boxes) std::printf("box after %lu ms: %ls\n", box.after_ms, box.text.c_str());
  // Once the command is over, the next tick shows the probes that are there now.
  EXPECT_TRUE(gui::wait_until([&] { return gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size() == 2; }, 5000));
  EXPECT_EQ(uid_of(kProbeB), gui::control_text(app.dialog, IDC_UID_EDIT));
  EXPECT_EQ(0, app.close());
  // The dialog's installation: INSTALLFLAG_FORCE alone, no restart output, as it always was.
  EXPECT_EQ("update flags=0x1 restart=null\n", wine_test::read_file(record));
}

}  // namespace
