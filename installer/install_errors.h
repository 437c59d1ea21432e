// What a Windows error of the device installer means for the installation: the lines logged and
// the status returned. No Windows call here, so the table is tested on the host.
#pragma once

#include <stdint.h>

// One row of the table. A line holding "%s" is formatted with the INF path.
struct install_error_row {
  const char* lines[4];  // up to four lines, unused ones null
  int status;
};

// The row for a code, or null for a code the table does not know.
const install_error_row* find_install_error(uint32_t code);

// The value handed to the system's message lookup for an error code: plain Windows errors become
// HRESULTs of the Win32 facility, setup errors (top three bits set) those of the setup facility.
uint32_t installer_message_code(uint32_t code);
