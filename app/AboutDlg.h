// The About box, opened from the system menu.
#pragma once

#include "app/resource.h"
#include "framework/Framework.h"

class CAboutDlg : public CDialogEx {
 public:
  CAboutDlg();
  enum { IDD = IDD_ABOUTBOX };

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  DECLARE_MESSAGE_MAP()
};
