// Modal dialogs: the system's dialog manager runs the modal loop; the framework takes over the
// dialog window's messages at WM_INITDIALOG so that every later message goes through the map.
#include "framework/Dialog.h"

#include "framework/WinApp.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CDialogEx, CDialog)
END_MESSAGE_MAP()

CDialog::CDialog(UINT template_id, CWnd* parent)
    : m_nIDHelp(template_id), m_nIDTemplate(template_id), m_pParentWnd(parent) {}

CDialog::~CDialog() {
  // A dialog object that goes away with its window still open ends the window first.
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

namespace {

// The owner of a dialog created without a parent, as the platform's framework chooses it: the
// application's main window (or, with none set, the active window), taken up to its top-level
// window, then that window's last active popup. The owner is disabled while the dialog runs.
HWND DefaultOwner(const CDialog* dialog) {
  CWinApp* app = AfxGetApp();
  CWnd* main = app != nullptr ? app->m_pMainWnd : nullptr;
  // The main dialog itself, shown while it is the main window, has no owner.
  HWND owner = main == nullptr ? ::GetActiveWindow() : main != dialog ? main->m_hWnd : nullptr;
  // A popup cannot be owned by a child window.
  while (owner != nullptr && (::GetWindowLongW(owner, GWL_STYLE) & WS_CHILD)) owner = ::GetParent(owner);
  return owner != nullptr ? ::GetLastActivePopup(owner) : nullptr;
}

}  // namespace

INT_PTR CDialog::DoModal() {
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : DefaultOwner(this);
  // The wide call keeps the template's UTF-16 texts intact (the 8-bit one may pass them through the
  // ANSI code page); our handlers still see 8-bit messages through the 8-bit subclass.
  return ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), parent, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_INITDIALOG) return FALSE;  // everything else: the dialog manager's defaults
  CDialog* dlg = reinterpret_cast<CDialog*>(lp);
  dlg->SubclassWindow(hwnd);
  return dlg->OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wp, LPARAM lp) {
  UINT id = LOWORD(wp);
  UINT code = HIWORD(wp);
  if (CWnd::OnCommand(wp, lp)) return TRUE;
  // Buttons, menus and accelerators (code 0 or 1, or BN_CLICKED from a button) reach OK/Cancel.
  if (code == BN_CLICKED || code == 1) {
    if (id == IDOK) {
      OnOK();
      return TRUE;
    }
    if (id == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  // Commands the dialog does not handle go to the application object.
  if (lp == 0 && AfxGetApp() != nullptr) return AfxGetApp()->OnCmdMsg(id, 0);
  return FALSE;
}
