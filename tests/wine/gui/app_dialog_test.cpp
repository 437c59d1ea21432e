// The main dialog as the user meets it, driven from a second process.
#include <gtest/gtest.h>

#include <cwchar>

#include "gui_driver.h"

namespace {

const wchar_t kAboutCaption[] = L"\u5173\u4e8e Velmor_VirtualCOM_DriverInstall";

struct ControlSpec {
  int id;
  const wchar_t* cls;
  const wchar_t* text;
  LONG style;  // bits that must be set (besides WS_CHILD | WS_VISIBLE)
  RECT du;     // x, y, width, height in dialog units
};

const LONG kEdit = ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
const LONG kLabel = WS_GROUP;

// Creation (tab) order.
const ControlSpec kControls[] = {
    {IDC_INSTALL, L"Button", L"Install driver", BS_PUSHBUTTON | WS_TABSTOP, {179, 60, 58, 23}},
    {IDC_PROBE_COMBO, L"ComboBox", L"", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, {10, 20, 226, 62}},
    {IDC_PID_EDIT, L"Edit", L"F000", kEdit, {39, 79, 90, 12}},
    {IDC_VID_EDIT, L"Edit", L"2E3C", kEdit, {39, 62, 90, 12}},
    {IDC_STATIC, L"Static", L"Device Name\uff1a", kLabel, {11, 8, 51, 11}},
    {IDC_STATIC, L"Static", L"PID\uff1a", kLabel, {11, 80, 26, 10}},
    {IDC_STATIC, L"Static", L"VID\uff1a", kLabel, {11, 63, 28, 10}},
    {IDC_UID_EDIT, L"Edit", L"", kEdit, {39, 95, 90, 12}},
    {IDC_STATIC, L"Static", L"UID\uff1a", kLabel, {11, 97, 24, 10}},
    {IDC_EXTRACT, L"Button", L"Extract driver", BS_PUSHBUTTON | WS_TABSTOP, {179, 85, 58, 23}},
    {IDC_BRIDGE_STATUS, L"Static", L"", kLabel, {12, 143, 226, 10}},
    {IDC_WINUSB_STATUS, L"Static", L"", kLabel, {12, 130, 226, 10}},
    {IDC_USART_CHECK, L"Button", L"Usart driver", BS_AUTOCHECKBOX | WS_TABSTOP, {11, 36, 55, 10}},
    {IDC_BRIDGE_CHECK, L"Button", L"Bridge driver", BS_AUTOCHECKBOX | WS_TABSTOP, {134, 36, 59, 10}},
    {IDC_WINUSB_CHECK, L"Button", L"WinUSB driver", BS_AUTOCHECKBOX | WS_TABSTOP, {68, 36, 63, 10}},
    {IDC_USART_STATUS, L"Static", L"", kLabel, {12, 117, 227, 10}},
    {IDC_WCID_LABEL, L"Static", L"", kLabel, {134, 97, 24, 10}},
};


class MainDialog : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app.start()) << "dialog did not appear: " << gui::app_exe_path(); }
  void TearDown() override {
    if (app.running()) {
      EXPECT_EQ(0, app.close());
    }
  }
  gui::App app;
};

TEST_F(MainDialog, WindowHasCaptionStylesAndTitle) {
  EXPECT_EQ(L"#32770", gui::class_name(app.dialog));
  LONG style = ::GetWindowLongW(app.dialog, GWL_STYLE);
  const LONG want = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
  EXPECT_EQ(want, style & want);
  EXPECT_EQ(0, style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_TRUE(::GetWindowLongW(app.dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  RECT client = {};
  ::GetClientRect(app.dialog, &client);
  RECT want_client = gui::dialog_units_to_pixels(RECT{0, 0, 253, 157});  // x, y, width, height
  EXPECT_EQ(want_client.right, client.right);
  EXPECT_EQ(want_client.bottom, client.bottom);
}

TEST_F(MainDialog, ControlsInOrderWithTextsStylesAndPositions) {
  std::vector<HWND> children = gui::child_controls(app.dialog);
  ASSERT_EQ(sizeof(kControls) / sizeof(kControls[0]), children.size());
  for (size_t i = 0; i < children.size(); ++i) {
    const ControlSpec& s = kControls[i];
    HWND c = children[i];
    SCOPED_TRACE(testing::Message() << "control #" << i << " id " << s.id);
    EXPECT_EQ(s.id, static_cast<int>(static_cast<short>(::GetDlgCtrlID(c))));
    EXPECT_EQ(0, _wcsicmp(s.cls, gui::class_name(c).c_str())) << gui::class_name(c).c_str();
    if (s.id != IDC_PROBE_COMBO) {  // a combo shows its row
      EXPECT_EQ(std::wstring(s.text), gui::window_text(c));
    }
    // Controls may trade template styles for their own (an edit's border becomes a client edge,
    // a combo hands its scroll bar to its list): the template itself is checked in
    // app_resources_test; here only what the window keeps.
    LONG style = ::GetWindowLongW(c, GWL_STYLE);
    LONG kept = s.style & ~(WS_BORDER | WS_VSCROLL);
    EXPECT_EQ(kept | WS_CHILD | WS_VISIBLE, style & (kept | WS_CHILD | WS_VISIBLE));
    EXPECT_TRUE(::IsWindowEnabled(c));
    EXPECT_TRUE(::IsWindowVisible(c));
    // Each of x, y, width and height is converted on its own, as the dialog manager does.
    RECT want = gui::dialog_units_to_pixels(s.du);
    RECT got = gui::rect_in_client(app.dialog, c);
    EXPECT_EQ(want.left, got.left);
    EXPECT_EQ(want.top, got.top);
    EXPECT_EQ(want.right, got.right - got.left);
    if (s.id != IDC_PROBE_COMBO) {  // a combo's height is that of its edit field
      EXPECT_EQ(want.bottom, got.bottom - got.top);
    }
  }
  // Check boxes read Usart, WinUSB, Bridge from left to right; status lines USART, WinUSB, Bridge.
  EXPECT_LT(gui::control_rect(app.dialog, IDC_USART_CHECK).left, gui::control_rect(app.dialog, IDC_WINUSB_CHECK).left);
  EXPECT_LT(gui::control_rect(app.dialog, IDC_WINUSB_CHECK).left, gui::control_rect(app.dialog, IDC_BRIDGE_CHECK).left);
  EXPECT_LT(gui::control_rect(app.dialog, IDC_USART_STATUS).top, gui::control_rect(app.dialog, IDC_WINUSB_STATUS).top);
  EXPECT_LT(gui::control_rect(app.dialog, IDC_WINUSB_STATUS).top, gui::control_rect(app.dialog, IDC_BRIDGE_STATUS).top);
}

TEST_F(MainDialog, OpensInNoProbeStateWithAllBoxesTicked) {
  EXPECT_EQ(BST_CHECKED, gui::check_state(app.dialog, IDC_USART_CHECK));
  EXPECT_EQ(BST_CHECKED, gui::check_state(app.dialog, IDC_BRIDGE_CHECK));
  EXPECT_EQ(BST_CHECKED, gui::check_state(app.dialog, IDC_WINUSB_CHECK));
  EXPECT_EQ(std::vector<std::wstring>{L"Korvex"}, gui::combo_rows(app.dialog, IDC_PROBE_COMBO));
  EXPECT_EQ(0, gui::combo_selection(app.dialog, IDC_PROBE_COMBO));
  EXPECT_EQ(L"2E3C", gui::control_text(app.dialog, IDC_VID_EDIT));
  EXPECT_EQ(L"F000", gui::control_text(app.dialog, IDC_PID_EDIT));
  EXPECT_EQ(L"", gui::control_text(app.dialog, IDC_UID_EDIT));
  for (int id : {IDC_USART_STATUS, IDC_BRIDGE_STATUS, IDC_WINUSB_STATUS, IDC_WCID_LABEL}) {
    EXPECT_EQ(L"", gui::control_text(app.dialog, id)) << id;
  }
  EXPECT_EQ(L"Install driver", gui::control_text(app.dialog, IDC_INSTALL));
  // The focus starts on the first tab stop, the install button. Another test program's window may
  // have taken the foreground meanwhile; activated again, the dialog gives its focus back.
  GUITHREADINFO gti = {};
  gti.cbSize = sizeof(gti);
  const DWORD thread = ::GetWindowThreadProcessId(app.dialog, nullptr);
  ::SetForegroundWindow(app.dialog);
  EXPECT_TRUE(gui::wait_until([&] { return ::GetGUIThreadInfo(thread, &gti) && gti.hwndFocus != nullptr; }, 5000))
      << wine_test::last_error();
  EXPECT_EQ(gui::control(app.dialog, IDC_INSTALL), gti.hwndFocus);
  // The boxes are automatic: a click unticks one, and the next refresh leaves it so.
  gui::click(app.dialog, IDC_BRIDGE_CHECK);
  EXPECT_TRUE(gui::wait_until([&] { return gui::check_state(app.dialog, IDC_BRIDGE_CHECK) == BST_UNCHECKED; }, 2000));
  ASSERT_TRUE(gui::wait_refresh(app.dialog));
  EXPECT_EQ(BST_UNCHECKED, gui::check_state(app.dialog, IDC_BRIDGE_CHECK));
  EXPECT_EQ(BST_CHECKED, gui::check_state(app.dialog, IDC_USART_CHECK));
}

TEST_F(MainDialog, TimerRefreshesOnceASecond) {
  // Each refresh writes the members back to the controls: a foreign text lasts until the next tick.
  ASSERT_TRUE(gui::wait_refresh(app.dialog));
  EXPECT_EQ(L"", gui::control_text(app.dialog, IDC_UID_EDIT));
  DWORD t0 = ::GetTickCount();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(gui::wait_refresh(app.dialog));
    EXPECT_EQ(L"", gui::control_text(app.dialog, IDC_UID_EDIT));
  }
  // Three tick-to-tick intervals. A loaded machine stretches them, so the upper bound only tells a
  // one-second timer from a much slower one.
  double average = static_cast<double>(::GetTickCount() - t0) / 3.0;
  EXPECT_GT(average, 700.0);
  EXPECT_LT(average, 2500.0);
  // The no-probe refresh also puts the selection back on the single row.
  ::SendMessageW(gui::control(app.dialog, IDC_PROBE_COMBO), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_TRUE(gui::wait_until([&] { return gui::combo_selection(app.dialog, IDC_PROBE_COMBO) == 0; }, 3000));
}

TEST_F(MainDialog, AboutCommandsOpenTheAboutBox) {
  for (WPARAM cmd : {WPARAM(0x0010), WPARAM(0x0013), WPARAM(0x001F)}) {
    SCOPED_TRACE(cmd);
    gui::send_syscommand(app.dialog, cmd);
    HWND about = gui::wait_window(kAboutCaption, app.pid, 5000);
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(L"\u786e\u5b9a", gui::control_text(about, IDOK));
    bool found_version = false;
    for (HWND c : gui::child_controls(about))
      if (gui::window_text(c) == L"Velmor_VirtualCOM_DriverInstall\uff0c1.0 \u7248") found_version = true;
    EXPECT_TRUE(found_version);
    gui::click(about, IDOK);
    EXPECT_TRUE(gui::wait_until([&] { return !::IsWindow(about); }, 5000));
  }
  EXPECT_TRUE(::IsWindow(app.dialog));
}

// Owned by the dialog, which it disables: neither the commands nor another About box can be
// reached behind it, and the dialog takes input again once it is closed.
TEST_F(MainDialog, AboutBoxIsOwnedByTheDialogAndDisablesIt) {
  gui::send_syscommand(app.dialog, 0x0010);
  HWND about = gui::wait_window(kAboutCaption, app.pid, 5000);
  ASSERT_NE(nullptr, about);
  EXPECT_EQ(app.dialog, ::GetWindow(about, GW_OWNER));
  EXPECT_FALSE(::IsWindowEnabled(app.dialog));
  struct Count {
    DWORD pid;
    int abouts;
  } count = {app.pid, 0};
  struct Counter {
    static BOOL CALLBACK Visit(HWND w, LPARAM lp) {
      auto* c = reinterpret_cast<Count*>(lp);
      DWORD pid = 0;
      ::GetWindowThreadProcessId(w, &pid);
      if (pid == c->pid && ::IsWindowVisible(w) && gui::window_text(w) == kAboutCaption) ++c->abouts;
      return TRUE;
    }
  };
  ::EnumWindows(&Counter::Visit, reinterpret_cast<LPARAM>(&count));
  EXPECT_EQ(1, count.abouts);
  gui::click(about, IDOK);
  EXPECT_TRUE(gui::wait_until([&] { return !::IsWindow(about); }, 5000));
  EXPECT_TRUE(gui::wait_until([&] { return ::IsWindowEnabled(app.dialog) != FALSE; }, 5000));
}

TEST_F(MainDialog, OtherSystemCommandsKeepTheirMeaning) {
  // A minimise that arrives while the dialog is still starting can be undone by its start-up: begin
  // once it runs its timer.
  ASSERT_TRUE(gui::wait_refresh(app.dialog));
  gui::send_syscommand(app.dialog, 0x0020);  // outside the About range: nothing opens
  // Handled in order: once minimised, the command before has been handled too.
  gui::send_syscommand(app.dialog, SC_MINIMIZE);
  EXPECT_TRUE(gui::wait_until([&] { return ::IsIconic(app.dialog) != FALSE; }, 5000));
  EXPECT_EQ(nullptr, gui::find_window(kAboutCaption, app.pid));
  gui::send_syscommand(app.dialog, SC_RESTORE);
  EXPECT_TRUE(gui::wait_until([&] { return ::IsIconic(app.dialog) == FALSE; }, 5000));
  EXPECT_EQ(nullptr, gui::find_window(kAboutCaption, app.pid));
  gui::send_syscommand(app.dialog, SC_CLOSE);
  EXPECT_EQ(0, app.wait_exit(10000));
}

TEST_F(MainDialog, ClosesThroughOkAndCancelDefaults) {
  // Enter reaches the default OK handling; the program ends with exit code 0.
  ::PostMessageW(app.dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(0, app.wait_exit(10000));
}

TEST_F(MainDialog, CommandButtonsKeepTheDialogResponsive) {
  // With every box cleared the install command does no engine work: its one box comes and goes,
  // and the dialog answers again afterwards.
  for (int id : {IDC_USART_CHECK, IDC_BRIDGE_CHECK, IDC_WINUSB_CHECK}) gui::click(app.dialog, id);
  ASSERT_TRUE(gui::wait_until([&] { return gui::check_state(app.dialog, IDC_WINUSB_CHECK) == BST_UNCHECKED; }, 5000));
  gui::click(app.dialog, IDC_INSTALL);
  HWND box = gui::wait_message_box(app.pid, app.dialog, 10000);
  ASSERT_NE(nullptr, box);
  gui::close_message_box(box);
  EXPECT_TRUE(gui::wait_until([&] { return !::IsWindow(box); }, 5000));
  EXPECT_TRUE(app.running());
  EXPECT_EQ(L"Install driver", gui::control_text(app.dialog, IDC_INSTALL));
}

}  // namespace

namespace {
// Menus cannot be read from another process under Wine; the menu is walked with the keyboard
// instead: the last item of the window menu, chosen with Up (which wraps) and Enter.
TEST_F(MainDialog, LastItemOfTheWindowMenuIsAbout) {
  gui::send_syscommand(app.dialog, SC_KEYMENU, ' ');
  ASSERT_NE(nullptr, gui::wait_menu(app.pid));
  ::PostMessageW(app.dialog, WM_KEYDOWN, VK_UP, 0);
  ::PostMessageW(app.dialog, WM_KEYDOWN, VK_RETURN, 0);
  HWND about = gui::wait_window(kAboutCaption, app.pid, 5000);
  ASSERT_NE(nullptr, about);
  gui::click(about, IDOK);
  EXPECT_TRUE(gui::wait_until([&] { return !::IsWindow(about); }, 5000));
}
}  // namespace

namespace {
// Without string 101 the window menu keeps its default items only: its last item is the system's
// own (Close on Windows, "About Wine" under Wine), never our About box.
TEST(WindowMenu, WithoutTheAboutTextThereIsNoAboutItem) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string exe(self);
  exe = exe.substr(0, exe.find_last_of("\\/") + 1) + "app_no_about_string.exe";
  gui::App app;
  ASSERT_TRUE(app.start(exe)) << exe;
  gui::send_syscommand(app.dialog, SC_KEYMENU, ' ');
  HWND menu = gui::wait_menu(app.pid);
  ASSERT_NE(nullptr, menu);
  ::PostMessageW(app.dialog, WM_KEYDOWN, VK_UP, 0);
  ::PostMessageW(app.dialog, WM_KEYDOWN, VK_RETURN, 0);
  // The chosen item shows a window of its own (Wine's about box) or ends the program (Close).
  EXPECT_TRUE(gui::wait_until([&] { return !::IsWindowVisible(menu); }, 10000));
  gui::wait_until([&] { return !gui::find_dialogs(app.pid, app.dialog).empty() || !app.running(); }, 10000);
  EXPECT_EQ(nullptr, gui::find_window(kAboutCaption, app.pid));
  for (HWND other : gui::find_dialogs(app.pid, app.dialog)) gui::close_message_box(other);
  if (app.running()) {
    EXPECT_EQ(0, app.close());
  }
}
}  // namespace
