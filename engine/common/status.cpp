#include "engine/common/status.h"

#include <cstdio>

namespace {
// Long enough for "Unknown error (-9223372036854775808)" and its terminator.
char unknown_status_text[37];
}  // namespace

extern "C" const char* wdi_status_text(int status) {
  switch (status) {
    case WDI_ST_OK: return "Success";
    case WDI_ST_IO_FAILURE: return "Input/Output error";
    case WDI_ST_BAD_PARAMETER: return "Invalid parameter";
    case WDI_ST_DENIED: return "Access denied";
    case WDI_ST_DEVICE_ABSENT: return "No such device";
    case WDI_ST_MISSING: return "Requested resource not found";
    case WDI_ST_IN_USE: return "Requested resource busy or similar call already in progress";
    case WDI_ST_TIMED_OUT: return "Operation timed out";
    case WDI_ST_OVERRUN: return "Overflow";
    case WDI_ST_INSTALL_PENDING: return "Another installation is detected pending";
    case WDI_ST_SYSCALL_INTERRUPTED: return "System call interrupted";
    case WDI_ST_NO_RESOURCE: return "Could not allocate resource";
    case WDI_ST_UNSUPPORTED: return "Operation not supported or not implemented";
    case WDI_ST_ALREADY_EXISTS: return "Resource already exists";
    case WDI_ST_CANCELLED: return "Cancelled by user";
    case WDI_ST_ELEVATION_REQUIRED:
      return "Unable to run process with required administrative privileges";
    case WDI_ST_WRONG_BITNESS: return "Attempted to use a 32 bit installer on a 64 bit machine";
    case WDI_ST_BAD_INF: return "The syntax of the inf is invalid";
    case WDI_ST_NO_CAT: return "Unable to locate cat file";
    case WDI_ST_UNSIGNED_REJECTED:
      return "System policy has been modified to reject unsigned drivers";
    case WDI_ST_OTHER: return "Other error";
    default:
      std::snprintf(unknown_status_text, sizeof(unknown_status_text), "Unknown Error: %d", status);
      return unknown_status_text;
  }
}
