// Message dispatch, data exchange and the small window wrappers.
#include "framework/Wnd.h"

#include <vector>

namespace {
const char kObjectProp[] = "VelmorFrameworkWnd";
}

// ---- message maps ----

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}
const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
      if (e->nMessage == message && e->nCode == code && id >= e->nID && id <= e->nLastID) return e;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code) {
  const AFX_MSGMAP_ENTRY* e = FindEntry(WM_COMMAND, static_cast<UINT>(code), id);
  if (e == nullptr) return FALSE;
  (this->*(e->pfn))();
  return TRUE;
}

// ---- CWnd ----

CWnd::~CWnd() {
  if (m_oldProc != nullptr && ::IsWindow(m_hWnd)) UnsubclassWindow();
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  m_hWnd = nullptr;
  return h;
}

void CWnd::GetWindowText(CString& text) const {
  int len = ::GetWindowTextLengthA(m_hWnd);
  char* buf = text.GetBuffer(len);
  int got = len > 0 ? ::GetWindowTextA(m_hWnd, buf, len + 1) : 0;
  text.ReleaseBuffer(got);
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
  HMENU menu = ::GetSystemMenu(m_hWnd, revert);
  m_sysMenu.m_hMenu = menu;
  return (revert || menu == nullptr) ? nullptr : &m_sysMenu;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) { return static_cast<CWnd*>(::GetPropA(hwnd, kObjectProp)); }

void CWnd::SubclassWindow(HWND hwnd) {
  m_hWnd = hwnd;
  ::SetPropA(hwnd, kObjectProp, this);
  // A wide procedure: the window keeps its UTF-16 texts for every reader; the handlers of the maps
  // take no text, and our own sends use the 8-bit calls, which the system converts.
  m_oldProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::DispatchProc)));
}

void CWnd::UnsubclassWindow() {
  if (m_oldProc != nullptr) ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
  ::RemovePropA(m_hWnd, kObjectProp);
  m_oldProc = nullptr;
}

LRESULT CALLBACK CWnd::DispatchProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CWnd* wnd = FromHandlePermanent(hwnd);
  if (wnd == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
  // Nested dispatch (a handler that sends messages to its own window) keeps the outer message.
  UINT saved_msg = wnd->m_curMsg;
  WPARAM saved_wp = wnd->m_curWp;
  LPARAM saved_lp = wnd->m_curLp;
  wnd->m_curMsg = msg;
  wnd->m_curWp = wp;
  wnd->m_curLp = lp;
  LRESULT r = wnd->WindowProc(msg, wp, lp);
  wnd->m_curMsg = saved_msg;
  wnd->m_curWp = saved_wp;
  wnd->m_curLp = saved_lp;
  if (msg == WM_NCDESTROY) {
    wnd->UnsubclassWindow();
    wnd->m_hWnd = nullptr;
    wnd->PostNcDestroy();
  }
  return r;
}

LRESULT CWnd::Default() {
  if (m_oldProc != nullptr) return ::CallWindowProcW(m_oldProc, m_hWnd, m_curMsg, m_curWp, m_curLp);
  return ::DefWindowProcW(m_hWnd, m_curMsg, m_curWp, m_curLp);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (OnWndMsg(msg, wp, lp, &result)) return result;
  return Default();
}

BOOL CWnd::OnCommand(WPARAM wp, LPARAM) {
  return OnCmdMsg(LOWORD(wp), HIWORD(wp));
}

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_COMMAND) {
    if (!OnCommand(wp, lp)) return FALSE;
    *result = 0;
    return TRUE;
  }
  UINT map_msg = msg;
  if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) map_msg = WM_CTLCOLOR;
  const AFX_MSGMAP_ENTRY* e = FindEntry(map_msg, 0, 0);
  if (e == nullptr) return FALSE;
  switch (e->nSig) {
    case AfxSig_vv:
    case AfxSig_vv_destroy:
      (this->*reinterpret_cast<void (CWnd::*)()>(e->pfn))();
      *result = 0;
      return TRUE;
    case AfxSig_vwl:
      (this->*reinterpret_cast<void (CWnd::*)(UINT, LPARAM)>(e->pfn))(static_cast<UINT>(wp), lp);
      *result = 0;
      return TRUE;
    case AfxSig_vt:
      (this->*reinterpret_cast<void (CWnd::*)(UINT_PTR)>(e->pfn))(static_cast<UINT_PTR>(wp));
      *result = 0;
      return TRUE;
    case AfxSig_hv:
      *result = reinterpret_cast<LRESULT>((this->*reinterpret_cast<HCURSOR (CWnd::*)()>(e->pfn))());
      return TRUE;
    case AfxSig_ctlcolor: {
      CDC dc;
      dc.m_hDC = reinterpret_cast<HDC>(wp);
      CWnd ctl(reinterpret_cast<HWND>(lp));
      UINT kind = msg == WM_CTLCOLOR ? static_cast<UINT>(HIWORD(lp)) : msg - WM_CTLCOLORMSGBOX;
      *result = reinterpret_cast<LRESULT>(
          (this->*reinterpret_cast<HBRUSH (CWnd::*)(CDC*, CWnd*, UINT)>(e->pfn))(&dc, &ctl, kind));
      ctl.Detach();
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnPaint() { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }
void CWnd::OnDestroy() { Default(); }

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL save_and_validate) {
  CDataExchange dx(this, save_and_validate);
  try {
    DoDataExchange(&dx);
  } catch (const CUserException&) {
    return FALSE;
  }
  return TRUE;
}

// ---- data exchange ----

HWND CDataExchange::PrepareCtrl(int id) {
  HWND ctl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
  if (ctl == nullptr) throw CUserException();
  return ctl;
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  HWND ctl = dx->PrepareCtrl(id);
  if (dx->m_bSaveAndValidate) {
    CWnd w(ctl);
    w.GetWindowText(value);
    w.Detach();
  } else {
    ::SetWindowTextA(ctl, value);
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd != nullptr) return;
  control.Attach(dx->PrepareCtrl(id));
}

// ---- controls and drawing ----

void CComboBox::GetLBText(int index, CString& text) const {
  int len = static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
  if (len == CB_ERR) {
    text.Empty();
    return;
  }
  char* buf = text.GetBuffer(len);
  int got = static_cast<int>(SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf)));
  text.ReleaseBuffer(got == CB_ERR ? 0 : got);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_ps{}, m_hWnd(wnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
