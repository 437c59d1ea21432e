// The fixed texts of the status codes (protocol/status.h).
#pragma once

#include "protocol/status.h"

#ifdef __cplusplus
extern "C" {
#endif

// The text of a status. Unknown values are formatted into a shared buffer that stays valid until
// the next call for an unknown value (from any thread).
const char* wdi_status_text(int status);

#ifdef __cplusplus
}
#endif
