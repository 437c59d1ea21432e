// Windows, controls, menus and drawing of our dialog framework layer: thin classes over plain Win32
// window handles with 8-bit text. A CWnd either owns its window's message dispatch (a dialog that
// the framework created) or is merely attached to a window (controls, wrappers handed to handlers).
#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "framework/MessageMap.h"

class CWnd;
class CDC;

// Anything that can have a message map: windows and the application object.
class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  // Looks up a WM_COMMAND (code, id) in this object's map chain and calls the handler.
  virtual BOOL OnCmdMsg(UINT id, int code);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  // The first entry of this object's map chain for (message, code, id), or null.
  const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id) const;
};

class CRect : public RECT {
 public:
  CRect() : RECT{0, 0, 0, 0} {}
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
};

class CMenu {
 public:
  HMENU m_hMenu = nullptr;
  HMENU GetSafeHmenu() const { return m_hMenu; }
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char* text = nullptr) {
    return ::AppendMenuA(m_hMenu, flags, id, text);
  }
  int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
};

class CDC {
 public:
  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }
  COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
  COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
  operator HDC() const { return m_hDC; }
};

// BeginPaint/EndPaint for the lifetime of the object.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  PAINTSTRUCT m_ps;

 private:
  HWND m_hWnd;
};

class CWnd : public CCmdTarget {
 public:
  HWND m_hWnd = nullptr;

  CWnd() = default;
  explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  ~CWnd() override;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }
  // Attaching does not take over the window's messages.
  void Attach(HWND hwnd) { m_hWnd = hwnd; }
  HWND Detach();

  LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageA(m_hWnd, msg, wp, lp); }
  BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageA(m_hWnd, msg, wp, lp); }
  void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
  void GetWindowText(CString& text) const;
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  HWND GetDlgItemHwnd(int id) const { return ::GetDlgItem(m_hWnd, id); }
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
  HICON SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  }
  // The window menu; with revert, restores the default one and returns null.
  CMenu* GetSystemMenu(BOOL revert);
  BOOL UpdateData(BOOL save_and_validate = TRUE);
  virtual void DoDataExchange(class CDataExchange* dx);

  // The object a framework-dispatched window belongs to (null for other windows).
  static CWnd* FromHandlePermanent(HWND hwnd);

  // Message handlers with their framework defaults; derived classes hide them and list them in
  // their maps.
  void OnSysCommand(UINT id, LPARAM lp);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnTimer(UINT_PTR id);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctl_color);
  void OnDestroy();

 protected:
  // Hands the message being dispatched to the window's original procedure.
  LRESULT Default();
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  // Dispatches through the message map; false when no entry handles the message.
  virtual BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  virtual BOOL OnCommand(WPARAM wp, LPARAM lp);
  // Takes over the messages of an existing window (the framework's dialogs).
  void SubclassWindow(HWND hwnd);
  void UnsubclassWindow();
  virtual void PostNcDestroy() {}

 private:
  static LRESULT CALLBACK DispatchProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  WNDPROC m_oldProc = nullptr;
  CMenu m_sysMenu;
  // The message being dispatched, for Default().
  UINT m_curMsg = 0;
  WPARAM m_curWp = 0;
  LPARAM m_curLp = 0;
};

// The direction and target of one data exchange.
class CDataExchange {
 public:
  CDataExchange(CWnd* dlg, BOOL save_and_validate) : m_bSaveAndValidate(save_and_validate), m_pDlgWnd(dlg) {}
  BOOL m_bSaveAndValidate;  // true: controls to members
  CWnd* m_pDlgWnd;
  HWND PrepareCtrl(int id);  // the control's window; throws CUserException when it does not exist
};

// Raised by the exchange to abort UpdateData.
class CUserException {};

// Member string <-> control text.
void DDX_Text(CDataExchange* dx, int id, CString& value);
// Attaches a control object to its control window once; later exchanges keep it.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CButton : public CWnd {
 public:
  int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
  void SetCheck(int state) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

class CStatic : public CWnd {};

class CComboBox : public CWnd {
 public:
  void ResetContent() { SendMessage(CB_RESETCONTENT); }
  int AddString(const char* text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
  int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
  int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
  int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
  void GetLBText(int index, CString& text) const;
};
