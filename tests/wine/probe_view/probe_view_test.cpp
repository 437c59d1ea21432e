// The probe view of the running application while probes are plugged in and unplugged by the lab.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probe_view_util.h"

using namespace probe_view;
using velmor_lab::driver_state;

namespace {

class ProbeView : public ::testing::Test {
 protected:
  void SetUp() override {
    velmor_lab::clear();
    ASSERT_TRUE(app.start()) << "dialog did not appear: " << gui::app_exe_path();
  }
  void TearDown() override {
    if (app.running()) {
      EXPECT_EQ(0, app.close());
    }
    velmor_lab::clear();
  }
  // The discovery order, read while the dialog cannot enumerate.
  std::vector<std::string> order() {
    frozen_app f(app.pid);
    return probe_order();
  }
  void expect_no_probe_view() {
    view v = read_view(app.dialog);
    EXPECT_EQ(v.rows, std::vector<std::wstring>{L"Korvex"});
    EXPECT_EQ(v.selection, 0);
    EXPECT_EQ(v.pid, L"F000");
    EXPECT_EQ(v.vid, L"2E3C");
    EXPECT_EQ(v.uid, L"");
    EXPECT_EQ(v.usart, L"");
    EXPECT_EQ(v.bridge, L"");
    EXPECT_EQ(v.winusb, L"");
    EXPECT_EQ(v.wcid, L"");
    EXPECT_EQ(v.caption, L"Install driver");
  }
  gui::App app;
};

const std::string A = "AAAA0001", B = "BBBB0002", C = "CCCC0003";

}  // namespace

TEST_F(ProbeView, WithoutProbeShowsTheProbeTypeOnly) {
  expect_no_probe_view();
  select_row(app.dialog, 0);  // not a probe record: nothing but a data exchange
  expect_no_probe_view();
}

TEST_F(ProbeView, EveryCountChangeRebuildsTheRowsAndShowsTheFirstProbe) {
  ASSERT_TRUE(velmor_lab::plant_probe(probe(A, driver_state::usbser, driver_state::none, driver_state::usbser)));
  ASSERT_TRUE(wait_for(app.dialog, velmor_lab::probe_key(A), 1));
  EXPECT_EQ(gui::combo_selection(app.dialog, IDC_PROBE_COMBO), 0);
  EXPECT_EQ(gui::control_text(app.dialog, IDC_PID_EDIT), L"F000");
  EXPECT_EQ(gui::control_text(app.dialog, IDC_VID_EDIT), L"2E3C");

  ASSERT_TRUE(velmor_lab::plant_probe(probe(B, driver_state::none, driver_state::winusb, driver_state::none)));
  ASSERT_TRUE(gui::wait_until([&] { return gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size() == 2; }, 6000));
  std::vector<std::string> two = order();
  ASSERT_EQ(two.size(), 2u);
  ASSERT_TRUE(wait_for(app.dialog, two[0], 2));
  EXPECT_EQ(gui::combo_rows(app.dialog, IDC_PROBE_COMBO), (std::vector<std::wstring>{L"Korvex", L"Korvex"}));

  // The second probe chosen, then a third plugged in: the selection starts over at the first.
  select_row(app.dialog, 1);
  EXPECT_EQ(gui::control_text(app.dialog, IDC_UID_EDIT), widen(two[1]));
  ASSERT_TRUE(gui::wait_refresh(app.dialog));
  EXPECT_EQ(gui::control_text(app.dialog, IDC_UID_EDIT), widen(two[1]));
  EXPECT_EQ(gui::combo_selection(app.dialog, IDC_PROBE_COMBO), 1);

  ASSERT_TRUE(velmor_lab::plant_probe(probe(C, driver_state::usbser, driver_state::winusb, driver_state::usbser)));
  ASSERT_TRUE(gui::wait_until([&] { return gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size() == 3; }, 6000));
  std::vector<std::string> three = order();
  ASSERT_EQ(three.size(), 3u);
  ASSERT_TRUE(wait_for(app.dialog, three[0], 3));
  EXPECT_EQ(gui::combo_selection(app.dialog, IDC_PROBE_COMBO), 0);

  // And back down to none.
  for (const std::string& gone : {C, B}) {
    select_row(app.dialog, 1);
    ASSERT_TRUE(velmor_lab::unplug_probe(gone));
    size_t left = gone == C ? 2 : 1;
    ASSERT_TRUE(gui::wait_until([&] { return gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size() == left; }, 6000));
    std::vector<std::string> now = order();
    ASSERT_EQ(now.size(), left);
    ASSERT_TRUE(wait_for(app.dialog, now[0], left));
    EXPECT_EQ(gui::combo_selection(app.dialog, IDC_PROBE_COMBO), 0);
  }
  ASSERT_TRUE(velmor_lab::unplug_probe(A));
  ASSERT_TRUE(wait_for(app.dialog, "", 1));
  ASSERT_TRUE(gui::wait_until([&] { return gui::control_text(app.dialog, IDC_USART_STATUS).empty(); }, 3000));
  expect_no_probe_view();
}

TEST_F(ProbeView, SelectedProbeIsFoundByUidWhenTheEngineListsItFirst) {
  // B lacks interface 0, so A's interface 0 comes first in the list.
  velmor_lab::probe_spec b = probe(B, driver_state::none, driver_state::winusb, driver_state::usbser);
  b.mi[0].present = false;
  ASSERT_TRUE(velmor_lab::plant_probe(probe(A, driver_state::none, driver_state::none, driver_state::none)));
  ASSERT_TRUE(velmor_lab::plant_probe(b));
  ASSERT_TRUE(gui::wait_until([&] { return gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size() == 2; }, 6000));
  ASSERT_EQ(order(), (std::vector<std::string>{velmor_lab::probe_key(A), velmor_lab::probe_key(B)}));
  ASSERT_TRUE(wait_for(app.dialog, velmor_lab::probe_key(A), 2));

  select_row(app.dialog, 1);
  EXPECT_EQ(gui::control_text(app.dialog, IDC_UID_EDIT), widen(velmor_lab::probe_key(B)));
  EXPECT_EQ(gui::control_text(app.dialog, IDC_USART_STATUS), L"");

  {
    frozen_app f(app.pid);
    b.mi[0] = velmor_lab::interface_spec();
    b.mi[0].state = driver_state::usbser;
    ASSERT_TRUE(velmor_lab::plant_probe(b));
    ASSERT_TRUE(velmor_lab::remove(velmor_lab::probe_interface_id(A, 0)));
    ASSERT_EQ(probe_order(), (std::vector<std::string>{velmor_lab::probe_key(B), velmor_lab::probe_key(A)}));
  }
  ASSERT_TRUE(gui::wait_until(
      [&] { return gui::control_text(app.dialog, IDC_USART_STATUS) == L"Usart driver has been installed"; }, 6000));
  EXPECT_EQ(gui::control_text(app.dialog, IDC_UID_EDIT), widen(velmor_lab::probe_key(B)));
  EXPECT_EQ(gui::combo_selection(app.dialog, IDC_PROBE_COMBO), 1);  // the row index is left as it was
  EXPECT_EQ(gui::control_text(app.dialog, IDC_INSTALL), L"Reinstall driver");
}

TEST_F(ProbeView, UnpluggingTheSelectedProbeForAnotherKeepsTheLastTexts) {
  velmor_lab::probe_spec a = probe(A, driver_state::none, driver_state::none, driver_state::none);
  velmor_lab::probe_spec b = probe(B, driver_state::usbser, driver_state::winusb, driver_state::usbser);
  b.mi[3].first_compatible = "USB\\MS_COMP_WINUSB";
  ASSERT_TRUE(velmor_lab::plant_probe(a));
  ASSERT_TRUE(velmor_lab::plant_probe(b));
  ASSERT_TRUE(gui::wait_until([&] { return gui::combo_rows(app.dialog, IDC_PROBE_COMBO).size() == 2; }, 6000));
  std::vector<std::string> two = order();
  ASSERT_EQ(two.size(), 2u);
  int row_b = two[1] == velmor_lab::probe_key(B) ? 1 : 0;
  ASSERT_TRUE(wait_for(app.dialog, two[0], 2));
  select_row(app.dialog, row_b);
  // Let a refresh show B completely (the label follows at the refresh).
  ASSERT_TRUE(gui::wait_until([&] { return gui::control_text(app.dialog, IDC_WCID_LABEL) == L"WCID"; }, 6000));
  view before = read_view(app.dialog);
  EXPECT_EQ(before.caption, L"Reinstall driver");

  {
    frozen_app f(app.pid);
    ASSERT_TRUE(velmor_lab::unplug_probe(B));
    ASSERT_TRUE(velmor_lab::plant_probe(probe(C, driver_state::none, driver_state::none, driver_state::none)));
  }
  ASSERT_TRUE(wait_for(app.dialog, "", 2));
  view after = read_view(app.dialog);
  EXPECT_EQ(after.pid, L"");
  EXPECT_EQ(after.vid, L"");
  EXPECT_EQ(after.selection, row_b);
  EXPECT_EQ(after.usart, before.usart);
  EXPECT_EQ(after.bridge, before.bridge);
  EXPECT_EQ(after.winusb, before.winusb);
  EXPECT_EQ(after.wcid, L"WCID");
  EXPECT_EQ(after.caption, L"Reinstall driver");

  // Choosing a row shows that probe again (the label waits for the next refresh).
  std::vector<std::string> now = order();
  ASSERT_EQ(now.size(), 2u);
  select_row(app.dialog, 0);
  view chosen = read_view(app.dialog);
  EXPECT_EQ(chosen.uid, widen(now[0]));
  EXPECT_EQ(chosen.pid, L"F000");
  EXPECT_EQ(chosen.vid, L"2E3C");
  EXPECT_EQ(chosen.caption, L"Install driver");
  EXPECT_EQ(chosen.usart, L"Usart driver not installed");
  ASSERT_TRUE(gui::wait_until([&] { return gui::control_text(app.dialog, IDC_WCID_LABEL).empty(); }, 6000));
}

namespace {

struct Mix {
  const char* name;
  const char* mi0;  // lab driver state, or "absent"
  const char* mi3;
  const char* mi4;
  const char* compat3;
  const wchar_t* usart;
  const wchar_t* winusb;
  const wchar_t* bridge;
  const wchar_t* caption;
  const wchar_t* wcid;
};

const wchar_t kUsartYes[] = L"Usart driver has been installed";
const wchar_t kUsartNo[] = L"Usart driver not installed";
const wchar_t kWinusbYes[] = L"WinUSB driver has been installed";
const wchar_t kWinusbNo[] = L"WinUSB driver not installed";
const wchar_t kBridgeYes[] = L"Bridge driver has been installed";
const wchar_t kBridgeNo[] = L"Bridge driver not installed";
const wchar_t kReinstall[] = L"Reinstall driver";
const wchar_t kInstallText[] = L"Install driver";

const Mix kMixes[] = {
    {"none", "none", "none", "none", "", kUsartNo, kWinusbNo, kBridgeNo, kInstallText, L""},
    {"all", "usbser", "winusb", "usbser", "USB\\MS_COMP_WINUSB", kUsartYes, kWinusbYes, kBridgeYes, kReinstall, L"WCID"},
    {"case", "service=USBSER", "service=WINUSB", "service=UsbSer", "", kUsartYes, kWinusbYes, kBridgeYes, kReinstall,
     L""},
    {"longer", "service=usbserx", "winusb", "usbser", "", kUsartNo, kWinusbYes, kBridgeYes, kInstallText, L""},
    {"swapped", "winusb", "usbser", "usbser", "", kUsartNo, kWinusbNo, kBridgeYes, kInstallText, L""},
    {"other", "usbser", "winusb", "other", "USB\\MS_COMPX", kUsartYes, kWinusbYes, kBridgeNo, kInstallText, L""},
    {"no3", "usbser", "absent", "usbser", "", kUsartYes, L"", kBridgeYes, kReinstall, L""},
    {"only3", "absent", "winusb", "absent", "USB\\MS_COMP_", L"", kWinusbYes, L"", kReinstall, L"WCID"},
    {"lowwcid", "absent", "none", "usbser", "USB\\ms_comp_winusb", L"", kWinusbNo, kBridgeYes, kInstallText, L""},
};

void set_interface(velmor_lab::interface_spec& mi, const char* state) {
  if (std::string(state) == "absent")
    mi.present = false;
  else
    ASSERT_TRUE(velmor_lab::parse_driver_state(state, mi)) << state;
}

}  // namespace

TEST_F(ProbeView, StatusLinesCaptionAndWcidFollowTheDriverStates) {
  std::string previous;
  int n = 0;
  for (const Mix& m : kMixes) {
    SCOPED_TRACE(m.name);
    velmor_lab::probe_spec p;
    p.instance = "MIX" + std::to_string(n++);
    set_interface(p.mi[0], m.mi0);
    set_interface(p.mi[3], m.mi3);
    set_interface(p.mi[4], m.mi4);
    p.mi[3].first_compatible = m.compat3;
    // A new probe is shown when the number of probes changes: from none to one.
    if (!previous.empty()) {
      ASSERT_TRUE(velmor_lab::unplug_probe(previous));
      ASSERT_TRUE(wait_for(app.dialog, "", 1));
    }
    {
      frozen_app f(app.pid);  // planted at once, never seen half-way
      ASSERT_TRUE(velmor_lab::plant_probe(p));
    }
    previous = p.instance;
    ASSERT_TRUE(wait_for(app.dialog, velmor_lab::probe_key(p.instance), 1));
    view v = read_view(app.dialog);
    EXPECT_EQ(v.usart, m.usart);
    EXPECT_EQ(v.winusb, m.winusb);
    EXPECT_EQ(v.bridge, m.bridge);
    EXPECT_EQ(v.caption, m.caption);
    EXPECT_EQ(v.wcid, m.wcid);
  }
}
