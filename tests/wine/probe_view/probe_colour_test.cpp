// The colours of the probe view on screen (Xvfb, x11 driver): the WCID label green, installed
// status lines blue and missing ones red.
#include <gtest/gtest.h>

#include "probe_view_util.h"

using namespace probe_view;
using velmor_lab::driver_state;

namespace {

using wine_test::bluish;
using wine_test::greenish;
using wine_test::reddish;

class ProbeColours : public ::testing::Test {
 protected:
  void SetUp() override {
    velmor_lab::clear();
    velmor_lab::probe_spec p = probe("C0L0R001", driver_state::usbser, driver_state::winusb, driver_state::other);
    p.mi[3].first_compatible = "USB\\MS_COMP_WINUSB";
    ASSERT_TRUE(velmor_lab::plant_probe(p));
    ASSERT_TRUE(app.start());
    ::SetForegroundWindow(app.dialog);
    ASSERT_TRUE(wait_for(app.dialog, velmor_lab::probe_key("C0L0R001"), 1));
    ASSERT_TRUE(gui::wait_until([&] { return gui::control_text(app.dialog, IDC_WCID_LABEL) == L"WCID"; }, 3000));
  }
  void TearDown() override {
    if (app.running()) {
      EXPECT_EQ(0, app.close());
    }
    velmor_lab::clear();
  }
  gui::Capture capture(int id) {
    HWND c = gui::control(app.dialog, id);
    ::RedrawWindow(c, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    ::Sleep(150);
    return gui::Capture(gui::window_rect(c));
  }
  gui::App app;
};

}  // namespace

TEST_F(ProbeColours, WcidLabelIsGreen) {
  gui::Capture cap = capture(IDC_WCID_LABEL);
  ASSERT_TRUE(cap.ok());
  EXPECT_GE(cap.count(greenish), 8);
  EXPECT_EQ(cap.count(reddish), 0);
}

TEST_F(ProbeColours, InstalledLinesAreBlueAndMissingOnesRed) {
  EXPECT_EQ(gui::control_text(app.dialog, IDC_USART_STATUS), L"Usart driver has been installed");
  EXPECT_EQ(gui::control_text(app.dialog, IDC_BRIDGE_STATUS), L"Bridge driver not installed");
  for (int id : {IDC_USART_STATUS, IDC_WINUSB_STATUS}) {
    SCOPED_TRACE(id);
    gui::Capture cap = capture(id);
    ASSERT_TRUE(cap.ok());
    EXPECT_GE(cap.count(bluish), 20);
    EXPECT_EQ(cap.count(reddish), 0);
  }
  gui::Capture bridge = capture(IDC_BRIDGE_STATUS);
  ASSERT_TRUE(bridge.ok());
  EXPECT_GE(bridge.count(reddish), 20);
  EXPECT_EQ(bridge.count(bluish), 0);
}
