// The dialog framework layer's mechanisms, in-process: message-map dispatch along the class chain,
// default processing, command routing to the application, data exchange and the modal loop.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Framework.h"

namespace {

const UINT kEnd = 999;  // a command that ends the test dialog with 42

std::vector<std::string> g_log;

// A dialog whose OnInitDialog runs a script (usually: post messages to itself, then post kEnd).
class ScriptDlg : public CDialog {
 public:
  explicit ScriptDlg(UINT tmpl = 200) : CDialog(tmpl) {}
  std::function<void(ScriptDlg&)> script;
  CString m_text;
  CComboBox m_combo;
  CButton m_press;
  bool exchange_missing = false;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (script) script(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, 201, m_text);
    DDX_Control(dx, 203, m_combo);
    DDX_Control(dx, 202, m_press);
    if (exchange_missing) DDX_Text(dx, 777, m_text);
  }
  void Post(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { ::PostMessageA(m_hWnd, msg, wp, lp); }
  void PostCommand(UINT id, UINT code = 0, HWND from = nullptr) {
    Post(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(from));
  }

 protected:
  void OnEnd() { EndDialog(42); }
  void OnTimer(UINT_PTR id) {
    g_log.push_back("base timer " + std::to_string(id));
    KillTimer(id);
  }
  void OnPress() { g_log.push_back("base press"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ScriptDlg, CDialog)
ON_COMMAND(kEnd, &ScriptDlg::OnEnd)
ON_WM_TIMER()
ON_BN_CLICKED(202, &ScriptDlg::OnPress)
END_MESSAGE_MAP()

// Overrides the timer and adds notifications; the button stays with the base map.
class DerivedDlg : public ScriptDlg {
 protected:
  void OnTimer(UINT_PTR id) {
    g_log.push_back("derived timer " + std::to_string(id));
    KillTimer(id);
  }
  void OnSelchange() { g_log.push_back("selchange " + std::to_string(m_combo.GetCurSel())); }
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
    HBRUSH b = CDialog::OnCtlColor(dc, wnd, kind);
    if (wnd->GetDlgCtrlID() == 204) {
      g_log.push_back("ctlcolor " + std::to_string(kind) + (b ? " brush" : " none"));
    }
    return b;
  }
  void OnSysCommand(UINT id, LPARAM lp) {
    // A send to our own window inside the handler must not disturb the default processing of
    // the outer message.
    SendMessage(WM_GETTEXTLENGTH);
    g_log.push_back("syscommand " + std::to_string(id));
    CDialog::OnSysCommand(id, lp);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedDlg, ScriptDlg)
ON_WM_TIMER()
ON_CBN_SELCHANGE(203, &DerivedDlg::OnSelchange)
ON_WM_CTLCOLOR()
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

class TestApp : public CWinApp {
 public:
  void OnHelpCommand() { g_log.push_back("app help"); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(TestApp, CWinApp)
ON_COMMAND(ID_HELP, &TestApp::OnHelpCommand)
END_MESSAGE_MAP()

// Ends a dialog after the messages posted before it (a timer callback bypasses the map).
void CALLBACK end_later(HWND h, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(h, id);
  ::PostMessageA(h, WM_COMMAND, kEnd, 0);
}

class Framework : public ::testing::Test {
 protected:
  void SetUp() override { g_log.clear(); }
};

TEST_F(Framework, ModalLoopReturnsTheEndDialogResult) {
  ScriptDlg dlg;
  dlg.script = [](ScriptDlg& d) { d.PostCommand(kEnd); };
  EXPECT_EQ(42, dlg.DoModal());
  EXPECT_EQ(nullptr, dlg.m_hWnd);  // the window is gone with the loop
}

TEST_F(Framework, MissingTemplateFailsWithoutALoop) {
  ScriptDlg dlg(4242);
  EXPECT_EQ(-1, dlg.DoModal());
}

TEST_F(Framework, OkSavesControlsAndCancelDoesNot) {
  ScriptDlg ok;
  ok.m_text = "before";
  ok.script = [](ScriptDlg& d) {
    EXPECT_EQ(std::string("before"), std::string(d.m_text));  // shown by the initial exchange
    ::SetDlgItemTextA(d.m_hWnd, 201, "typed");
    ::PostMessageA(::GetDlgItem(d.m_hWnd, IDOK), BM_CLICK, 0, 0);
  };
  EXPECT_EQ(IDOK, ok.DoModal());
  EXPECT_EQ(std::string("typed"), std::string(ok.m_text));

  ScriptDlg cancel;
  cancel.m_text = "before";
  cancel.script = [](ScriptDlg& d) {
    ::SetDlgItemTextA(d.m_hWnd, 201, "typed");
    d.Post(WM_CLOSE);  // the close box: Cancel
  };
  EXPECT_EQ(IDCANCEL, cancel.DoModal());
  EXPECT_EQ(std::string("before"), std::string(cancel.m_text));
}

TEST_F(Framework, FailedExchangeKeepsTheDialogOpenOnOk) {
  ScriptDlg dlg;
  dlg.script = [](ScriptDlg& d) {
    EXPECT_TRUE(d.UpdateData(FALSE));
    d.exchange_missing = true;
    EXPECT_FALSE(d.UpdateData(FALSE));
    d.PostCommand(IDOK, BN_CLICKED);  // refused: the exchange fails
    d.PostCommand(kEnd);
  };
  EXPECT_EQ(42, dlg.DoModal());
}

TEST_F(Framework, ControlsAttachOnceAndSpeakToTheirWindows) {
  ScriptDlg dlg;
  dlg.script = [](ScriptDlg& d) {
    HWND combo = d.m_combo.m_hWnd;
    EXPECT_EQ(::GetDlgItem(d.m_hWnd, 203), combo);
    d.UpdateData(FALSE);
    EXPECT_EQ(combo, d.m_combo.m_hWnd);
    EXPECT_EQ(0, d.m_combo.AddString("one"));
    d.m_combo.AddString("two");
    EXPECT_EQ(2, d.m_combo.GetCount());
    d.m_combo.SetCurSel(1);
    CString row;
    d.m_combo.GetLBText(1, row);
    EXPECT_EQ(std::string("two"), std::string(row));
    d.m_combo.GetLBText(7, row);
    EXPECT_TRUE(row.IsEmpty());
    d.m_press.SetWindowText("Pressed");
    CString caption;
    d.m_press.GetWindowText(caption);
    EXPECT_EQ(std::string("Pressed"), std::string(caption));
    d.PostCommand(kEnd);
  };
  EXPECT_EQ(42, dlg.DoModal());
}

TEST_F(Framework, DispatchPrefersTheDerivedMapAndFallsBackToTheBase) {
  DerivedDlg dlg;
  dlg.script = [](ScriptDlg& d) {
    d.SetTimer(7, 1, nullptr);
    ::PostMessageA(::GetDlgItem(d.m_hWnd, 202), BM_CLICK, 0, 0);
    d.m_combo.AddString("a");
    d.m_combo.AddString("b");
    d.m_combo.SetCurSel(1);  // no notification for a programmatic change
    d.PostCommand(203, CBN_SELCHANGE, d.m_combo.m_hWnd);
    ::SetTimer(d.m_hWnd, 8, 30, end_later);
  };
  EXPECT_EQ(42, dlg.DoModal());
  std::vector<std::string> want = {"base press", "selchange 1", "derived timer 7"};
  std::vector<std::string> got;
  for (const std::string& s : g_log)
    if (s.rfind("ctlcolor", 0) != 0) got.push_back(s);
  EXPECT_EQ(want, got);
}

TEST_F(Framework, ControlColourReachesTheHandlerWithTheDefaultBrush) {
  DerivedDlg dlg;
  dlg.script = [](ScriptDlg& d) {
    HWND label = ::GetDlgItem(d.m_hWnd, 204);
    HDC dc = ::GetDC(label);
    // What a static control sends its parent before it paints.
    LRESULT brush = ::SendMessageA(d.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
    EXPECT_NE(0, brush);
    ::ReleaseDC(label, dc);
    d.PostCommand(kEnd);
  };
  EXPECT_EQ(42, dlg.DoModal());
  ASSERT_FALSE(g_log.empty());
  EXPECT_EQ("ctlcolor 6 brush", g_log.back());
}

TEST_F(Framework, SystemCommandsKeepTheirDefaultsThroughAHandler) {
  DerivedDlg dlg;
  dlg.script = [](ScriptDlg& d) { d.Post(WM_SYSCOMMAND, SC_CLOSE); };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  ASSERT_FALSE(g_log.empty());
  EXPECT_EQ("syscommand " + std::to_string(SC_CLOSE), g_log.back());
}

TEST_F(Framework, UnhandledCommandsReachTheApplication) {
  TestApp app;
  ASSERT_EQ(&app, AfxGetApp());
  ScriptDlg dlg;
  dlg.script = [](ScriptDlg& d) {
    d.PostCommand(ID_HELP);
    d.PostCommand(0x1234);  // handled by nobody: ignored
    d.PostCommand(kEnd);
  };
  EXPECT_EQ(42, dlg.DoModal());
  EXPECT_EQ(std::vector<std::string>{"app help"}, g_log);
}

TEST_F(Framework, LoadStringGivesEmptyForAMissingString) {
  CString s("x");
  EXPECT_FALSE(s.LoadString(12345));
  EXPECT_TRUE(s.IsEmpty());
}

TEST_F(Framework, SystemMenuIsTheWindowMenu) {
  ScriptDlg dlg;
  dlg.script = [](ScriptDlg& d) {
    CMenu* menu = d.GetSystemMenu(FALSE);
    ASSERT_NE(nullptr, menu);
    int before = menu->GetMenuItemCount();
    menu->AppendMenu(MF_SEPARATOR);
    menu->AppendMenu(MF_STRING, 0x10, "About");
    EXPECT_EQ(before + 2, d.GetSystemMenu(FALSE)->GetMenuItemCount());
    EXPECT_EQ(nullptr, d.GetSystemMenu(TRUE));  // revert
    EXPECT_EQ(before, d.GetSystemMenu(FALSE)->GetMenuItemCount());
    d.PostCommand(kEnd);
  };
  EXPECT_EQ(42, dlg.DoModal());
}

}  // namespace
