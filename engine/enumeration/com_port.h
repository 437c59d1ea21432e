// The COM port Windows gave a serial interface, for the command line's reports.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The port name ("COM3") of the device with this instance ID, from its device parameters, into
// `port` (terminated). 0 with the name; -4 when the device or its port name is not there (no serial
// driver); -8 when the name does not fit `size`; -2 for bad parameters; -11 when an entry point is
// missing. Never a name longer than a port name can be: a longer value counts as none.
int wdi_get_com_port(const char* instance_id, char* port, size_t size);

#ifdef __cplusplus
}
#endif
