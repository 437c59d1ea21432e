/* A stand-in program: says what it is and fails, so nobody mistakes it for the real tool. */
#include <windows.h>

#include "standin_info.h"

static const char notice[] = STANDIN_NOTICE "\r\n";

void __cdecl standin_entry(void);

void __cdecl standin_entry(void) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), notice, sizeof(notice) - 1, &written, NULL);
  ExitProcess(1);
}
