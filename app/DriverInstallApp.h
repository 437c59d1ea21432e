// The application object: sets the framework up and runs the main dialog modally.
#pragma once

#include "framework/Framework.h"

class CVelmor_DFU_DriverInstallApp : public CWinApp {
 public:
  CVelmor_DFU_DriverInstallApp();
  ~CVelmor_DFU_DriverInstallApp() override;
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CVelmor_DFU_DriverInstallApp theApp;
