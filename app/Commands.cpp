// The install and extract commands.
#include "app/DriverInstallDlg.h"

void CVelmor_DFU_DriverInstallDlg::OnBnClickedInstall() {}

void CVelmor_DFU_DriverInstallDlg::OnBnClickedExtract() {}
