// The application object: sets the framework up and runs the main dialog modally.
#pragma once

#include "framework/Framework.h"

class CVelmor_DFU_DriverInstallApp : public CWinApp {
 public:
  CVelmor_DFU_DriverInstallApp();
  ~CVelmor_DFU_DriverInstallApp() override;
  BOOL InitInstance() override;
  int ExitInstance() override;

  DECLARE_MESSAGE_MAP()

 private:
  int m_commandExitCode = 0;  // of a command given on the command line
};

extern CVelmor_DFU_DriverInstallApp theApp;
