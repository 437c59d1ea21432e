// The application object and the framework set-up calls that have no effect in this layer.
#pragma once

#include "framework/Wnd.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif
#define AFX_RESTART_MANAGER_SUPPORT_RESTART 0x01

class CWinApp : public CCmdTarget {
 public:
  // The one application object registers itself; name null: the module's name.
  explicit CWinApp(const char* app_name = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  // Where profile settings would live; stored only (nothing here reads or writes profiles).
  void SetRegistryKey(const char* key);
  // No help file is shipped: the command is accepted and does nothing.
  void OnHelp();

  CWnd* m_pMainWnd = nullptr;
  DWORD m_dwRestartManagerSupportFlags = 0;
  const char* m_pszAppName = nullptr;
  CString m_registryKey;

 protected:
  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxGetInstanceHandle();

// Entry: attaches the parent's console for log lines, then InitInstance; returns the exit code.
int AfxWinMain(HINSTANCE instance, int show);
// Points standard output and error at the parent process's console when it has one and they do
// not already lead somewhere (a GUI program starts without them).
void AfxAttachParentConsole();

// ---- Stand-ins: set-up calls of the platform framework with nothing to do here ----

struct CRuntimeClass {
  const char* m_lpszClassName;
};
#define RUNTIME_CLASS(name) (&name::classInfo)

void AfxEnableControlContainer(void* manager = nullptr);

class CShellManager {
 public:
  CShellManager() = default;
};

class CMFCVisualManager {
 public:
  static void SetDefaultManager(const CRuntimeClass* visual_manager);
  static const CRuntimeClass* GetDefaultManager();
};

class CMFCVisualManagerWindows : public CMFCVisualManager {
 public:
  static const CRuntimeClass classInfo;
};
