// The floor of dialog_bench: the app's main dialog from the app's own resources (linked in), shown
// by the system's dialog manager with one probe row filled in at its start, and nothing else.
#include <windows.h>
#include <commctrl.h>

#include "app/resource.h"

namespace {

INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      HWND combo = ::GetDlgItem(dialog, IDC_PROBE_COMBO);
      ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Korvex probe BE4C0003"));
      ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
      ::SetDlgItemTextA(dialog, IDC_VID_EDIT, "2E3C");
      ::SetDlgItemTextA(dialog, IDC_PID_EDIT, "F000");
      ::SetDlgItemTextA(dialog, IDC_UID_EDIT, "BE4C0003");
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK) ::EndDialog(dialog, 0);
      return TRUE;
    case WM_CLOSE:
      ::EndDialog(dialog, 0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_VELMOR_DFU_DRIVERINSTALL_DIALOG), nullptr, dialog_proc, 0);
  return 0;
}
