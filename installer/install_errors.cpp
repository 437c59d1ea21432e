#include "installer/install_errors.h"

#include <stddef.h>

#include "protocol/status.h"

namespace {

struct coded_row {
  uint32_t code;
  install_error_row row;
};

// An address for the reader who wants to revert the driver-signing policy.
#define UNSIGNED_POLICY_ARTICLE                                                     \
  "see https://learn.microsoft.com/windows-hardware/drivers/install/"               \
  "driver-signing for details."

const install_error_row bad_inf = {{"the syntax of the inf is invalid"}, WDI_ST_BAD_INF};
const install_error_row windows_update_off = {
    {"the \"Windows Update\" service is disabled. Please enable that service."}, WDI_ST_OTHER};
const install_error_row already_exists_row = {{"driver already exists"}, WDI_ST_ALREADY_EXISTS};
const install_error_row cancelled = {{"operation cancelled by the user"}, WDI_ST_CANCELLED};

const coded_row table[] = {
    {2, {{"the system can not find the file specified (%s)"}, WDI_ST_MISSING}},
    {5, {{"this process needs to be run with administrative privileges"}, WDI_ST_ELEVATION_REQUIRED}},
    {13, bad_inf},
    {0xE0000003, bad_inf},
    {0xE0000100, bad_inf},
    {87, {{"invalid path or hardware ID (%s)"}, WDI_ST_BAD_PARAMETER}},
    {183, already_exists_row},
    {259, {{"more recent driver was found (force option required)"}, WDI_ST_ALREADY_EXISTS}},
    {1058, windows_update_off},
    {0x8024002E, windows_update_off},
    {3010, {{"the driver was installed successfully, but a reboot is required."}, WDI_ST_OK}},
    {0x240006, {{"the driver is already installed"}, WDI_ST_OK}},
    {0xE0000203, {{"the driver is not compatible with this version of Windows"}, WDI_ST_UNSUPPORTED}},
    {0xE000020B, {{"device not detected (copying driver files for next time device is plugged in)"}, WDI_ST_OK}},
    {0xE0000217, {{"a section of the inf has a problem"}, WDI_ST_BAD_INF}},
    {0xE000022F,
     {{"your system policy has been modified from Windows defaults, and",
       "is set to reject unsigned drivers. You must revert the driver",
       "installation policy to default if you want to install this driver.", UNSIGNED_POLICY_ARTICLE},
      WDI_ST_UNSIGNED_REJECTED}},
    {0xE0000235, {{"attempted to use a 32 bit installer on a 64 bit machine"}, WDI_ST_WRONG_BITNESS}},
    {0xE0000248, {{"the installation of this device is forbidden by a device installation policy"}, WDI_ST_DENIED}},
    {0xE000023F, cancelled},
    {0xE0000243, cancelled},
    {0xE0000247, cancelled},
    {0xE000024B, {{"unable to locate the file hashes in cat file"}, WDI_ST_MISSING}},
    {0xE0000304, {{"unable to locate cat file"}, WDI_ST_NO_CAT}},
};

}  // namespace

const install_error_row* find_install_error(uint32_t code) {
  for (const coded_row& r : table) {
    if (r.code == code) return &r.row;
  }
  return nullptr;
}

uint32_t installer_message_code(uint32_t code) {
  const uint32_t top3 = code & 0xE0000000u;
  if (top3 == 0) return code == 0 ? 0 : (0x80070000u | (code & 0xFFFFu));
  if (top3 == 0xE0000000u) return 0x800F0000u | (code & 0xFFFFu);
  return code;
}
