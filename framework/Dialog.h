// Modal dialogs on a dialog template of the current module.
#pragma once

#include "framework/Wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT template_id, CWnd* parent = nullptr);
  ~CDialog() override;

  // Runs the dialog modally; returns the EndDialog result, or -1 when it cannot be created.
  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  void EndDialog(INT_PTR result);

  UINT m_nIDHelp;

 protected:
  virtual void OnOK();
  virtual void OnCancel();
  // IDOK and IDCANCEL reach OnOK/OnCancel whatever the map says; other commands use the map, then
  // the application's map.
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  DECLARE_MESSAGE_MAP()

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
};

// The extended dialog: same behaviour here (no background image or colour is ever set).
class CDialogEx : public CDialog {
 public:
  explicit CDialogEx(UINT template_id, CWnd* parent = nullptr) : CDialog(template_id, parent) {}

 protected:
  DECLARE_MESSAGE_MAP()
};
