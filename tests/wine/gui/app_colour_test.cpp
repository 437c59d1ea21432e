// Text colours and the caption icon of the real dialog, read from the screen (Xvfb, x11 driver).
// Each refresh writes the member texts back to the controls, so a test puts its own text on a
// control right after a tick and captures before the next one.
#include <gtest/gtest.h>

#include "gui_driver.h"

namespace {

using wine_test::bluish;
using wine_test::dark;
using wine_test::reddish;

class Colours : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app.start());
    ::SetForegroundWindow(app.dialog);
  }
  void TearDown() override {
    if (app.running()) {
      EXPECT_EQ(0, app.close());
    }
  }
  // Puts text on a control just after a refresh, repaints it and captures it; retries when a
  // refresh came in between.
  bool capture_with_text(int id, const wchar_t* text, gui::Capture** out) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (!gui::wait_refresh(app.dialog, 3000)) return false;
      gui::set_text(app.dialog, id, text);
      HWND c = gui::control(app.dialog, id);
      ::RedrawWindow(c, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
      ::Sleep(100);
      gui::Capture* cap = new gui::Capture(gui::window_rect(c));
      if (gui::control_text(app.dialog, id) == text && cap->ok()) {
        *out = cap;
        return true;
      }
      delete cap;
    }
    return false;
  }
  gui::App app;
};

TEST_F(Colours, EmptyWcidLabelDrawsRed) {
  gui::Capture* cap = nullptr;
  ASSERT_TRUE(capture_with_text(IDC_WCID_LABEL, L"WCID", &cap));
  EXPECT_GE(cap->count(reddish), 8);
  EXPECT_EQ(0, cap->count(bluish));
  delete cap;
}

TEST_F(Colours, StatusLineWithEmptyMemberKeepsTheDefaultColour) {
  for (int id : {IDC_USART_STATUS, IDC_BRIDGE_STATUS, IDC_WINUSB_STATUS}) {
    SCOPED_TRACE(id);
    gui::Capture* cap = nullptr;
    ASSERT_TRUE(capture_with_text(id, L"Usart driver not installed", &cap));
    EXPECT_GE(cap->count(dark), 20);
    EXPECT_EQ(0, cap->count(reddish));
    EXPECT_EQ(0, cap->count(bluish));
    delete cap;
  }
}

TEST_F(Colours, CaptionShowsTheProbeIcon) {
  ::Sleep(300);
  RECT w = gui::window_rect(app.dialog);
  RECT client = {};
  ::GetClientRect(app.dialog, &client);
  POINT origin = {0, 0};
  ::ClientToScreen(app.dialog, &origin);
  // The caption bar: from the window's top to the client area, left part.
  RECT bar = {w.left, w.top, w.left + 48, origin.y};
  gui::Capture cap(bar);
  ASSERT_TRUE(cap.ok());
  // The probe body's blue (40, 70, 140) from the icon, scaled down.
  auto body = [](int r, int g, int b) { return abs(r - 40) < 25 && abs(g - 70) < 25 && abs(b - 140) < 25; };
  EXPECT_GE(cap.count(body), 6);
}

}  // namespace
