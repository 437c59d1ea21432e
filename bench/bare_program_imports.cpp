// A second floor of list_bench: a window program that ends at once but loads the system modules
// the app imports, so that their loading shows apart from the app's own work.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <setupapi.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  // Never true (the bench passes no arguments): the calls only make the modules imports.
  if (command_line != nullptr && command_line[0] == '!') {
    ::InitCommonControls();
    ::CoUninitialize();
    ::SetupDiDestroyDeviceInfoList(nullptr);
    ::DragFinish(nullptr);
    ::GetStockObject(0);
    ::MessageBeep(0);
    ::RegCloseKey(nullptr);
  }
  return 0;
}
