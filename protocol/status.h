// The status codes the engine and the installer program agree on: the installer sends one as the
// result of its installation, the engine returns them from its public functions.
#pragma once

enum wdi_status {
  WDI_ST_OK = 0,
  WDI_ST_IO_FAILURE = -1,
  WDI_ST_BAD_PARAMETER = -2,
  WDI_ST_DENIED = -3,
  WDI_ST_DEVICE_ABSENT = -4,
  WDI_ST_MISSING = -5,
  WDI_ST_IN_USE = -6,
  WDI_ST_TIMED_OUT = -7,
  WDI_ST_OVERRUN = -8,
  WDI_ST_INSTALL_PENDING = -9,
  WDI_ST_SYSCALL_INTERRUPTED = -10,
  WDI_ST_NO_RESOURCE = -11,
  WDI_ST_UNSUPPORTED = -12,
  WDI_ST_ALREADY_EXISTS = -13,
  WDI_ST_CANCELLED = -14,
  WDI_ST_ELEVATION_REQUIRED = -15,
  WDI_ST_WRONG_BITNESS = -16,
  WDI_ST_BAD_INF = -17,
  WDI_ST_NO_CAT = -18,
  WDI_ST_UNSIGNED_REJECTED = -19,
  WDI_ST_OTHER = -99
};
