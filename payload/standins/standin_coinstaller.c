/* A co-installer of our own in place of the WDF or WinUSB co-installer: it exports the entry point
   the WinUSB INF names and answers every device-installation request with "nothing to do". On
   Windows 8 and later the WDF runtime and WinUSB are part of the system, so there is nothing a
   co-installer would have to add. */
#include <windows.h>
#include <setupapi.h>

#include "standin_info.h"

BOOL WINAPI standin_entry(HINSTANCE instance, DWORD reason, LPVOID reserved);

__declspec(dllexport) DWORD WINAPI STANDIN_COINSTALLER_ENTRY(DI_FUNCTION function, HDEVINFO set,
                                                             PSP_DEVINFO_DATA device,
                                                             PCOINSTALLER_CONTEXT_DATA context);

BOOL WINAPI standin_entry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

DWORD WINAPI STANDIN_COINSTALLER_ENTRY(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device,
                                       PCOINSTALLER_CONTEXT_DATA context) {
  (void)function;
  (void)set;
  (void)device;
  /* Never asked for post-processing; should the system call it anyway, its result stands. */
  if (context != NULL && context->PostProcessing) return context->InstallResult;
  return NO_ERROR;
}
