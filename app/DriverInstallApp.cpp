// Start-up: framework set-up, then the main dialog; the program ends when the dialog closes.
#include "app/DriverInstallApp.h"

#include <commctrl.h>

#include "app/CommandLineRun.h"
#include "app/DriverInstallDlg.h"
#include "engine/engine.h"
#include "win/imports.h"

BEGIN_MESSAGE_MAP(CVelmor_DFU_DriverInstallApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CVelmor_DFU_DriverInstallApp theApp;

CVelmor_DFU_DriverInstallApp::CVelmor_DFU_DriverInstallApp() {
  m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

CVelmor_DFU_DriverInstallApp::~CVelmor_DFU_DriverInstallApp() = default;

namespace {
// The profile key name the framework would use; code page 936 bytes of the wizard's default text.
const char kRegistryKey[] =
    "\xd3\xa6\xd3\xc3\xb3\xcc\xd0\xf2\xcf\xf2\xb5\xbc\xc9\xfa\xb3\xc9\xb5\xc4\xb1\xbe\xb5\xd8\xd3\xa6\xd3\xc3"
    "\xb3\xcc\xd0\xf2";
}  // namespace

BOOL CVelmor_DFU_DriverInstallApp::InitInstance() {
  // The program runs elevated from a folder its user can write to (Downloads): modules loaded by
  // bare name from now on must not come from there.
  restrict_dll_search_path();

  // Started with arguments: a command for unattended use, without the dialog. Before the common
  // controls: a command that shows no window need not wait for them to load.
  if (RunCommandLine(&m_commandExitCode)) return FALSE;

  // comctl32 is no known DLL: imported statically, a copy beside the program would be loaded
  // before this line runs. From the system folder, at run time.
  INITCOMMONCONTROLSEX icc;
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_WIN95_CLASSES;
  if (auto init_common_controls = velmor::imports::InitCommonControlsEx()) init_common_controls(&icc);

  CWinApp::InitInstance();
  AfxEnableControlContainer();
  CShellManager* shell_manager = new CShellManager;
  CMFCVisualManager::SetDefaultManager(RUNTIME_CLASS(CMFCVisualManagerWindows));
  SetRegistryKey(kRegistryKey);

  {
    CVelmor_DFU_DriverInstallDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();  // closed by OK or Cancel: the same either way
    delete shell_manager;
    m_pMainWnd = nullptr;
  }
  return FALSE;
}

int CVelmor_DFU_DriverInstallApp::ExitInstance() { return m_commandExitCode; }
