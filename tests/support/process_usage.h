// What another process holds now: handles, private bytes, working set and window-system objects.
// Shared by the refresh soak test and the soak benchmark.
#pragma once

#include <windows.h>

namespace wine_test {

struct process_usage {
  ULONG handles = 0;
  SIZE_T private_bytes = 0;
  SIZE_T working_set = 0;
  DWORD gdi_objects = 0;   // under Wine: the rows in use of the process's GDI handle table
  DWORD user_objects = 0;  // 0 under Wine, which does not count them
};

// Zeros when the process is not found.
process_usage usage_of(DWORD pid);

}  // namespace wine_test
