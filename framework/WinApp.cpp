// The application object, its entry point and the no-op set-up calls.
#include "framework/WinApp.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {
CWinApp* g_app = nullptr;
const CRuntimeClass* g_visual_manager = nullptr;
}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* app_name) : m_pszAppName(app_name) { g_app = this; }
CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
void CWinApp::SetRegistryKey(const char* key) { m_registryKey = key; }
void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return g_app; }
HINSTANCE AfxGetInstanceHandle() { return ::GetModuleHandleA(nullptr); }
HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleA(nullptr); }

void AfxEnableControlContainer(void*) {}

const CRuntimeClass CMFCVisualManagerWindows::classInfo = {"CMFCVisualManagerWindows"};
void CMFCVisualManager::SetDefaultManager(const CRuntimeClass* visual_manager) { g_visual_manager = visual_manager; }
const CRuntimeClass* CMFCVisualManager::GetDefaultManager() { return g_visual_manager; }

namespace {
bool std_handle_usable(DWORD which) {
  HANDLE h = ::GetStdHandle(which);
  return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetFileType(h) != FILE_TYPE_UNKNOWN;
}
}  // namespace

void AfxAttachParentConsole() {
  // Redirected output (a file or pipe from the parent) is kept as it is.
  if (std_handle_usable(STD_OUTPUT_HANDLE) && std_handle_usable(STD_ERROR_HANDLE)) return;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!std_handle_usable(STD_OUTPUT_HANDLE) && std::freopen("CONOUT$", "w", stdout) != nullptr)
    std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (!std_handle_usable(STD_ERROR_HANDLE) && std::freopen("CONOUT$", "w", stderr) != nullptr)
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

int AfxWinMain(HINSTANCE, int) {
  AfxAttachParentConsole();
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  // A dialog-based program returns false from InitInstance once its dialog has closed; there is no
  // message loop of the application's own either way.
  app->InitInstance();
  return app->ExitInstance();
}
