// The text of a Windows error code.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// "[#XXXXXXXX] <system message>" in a shared 256-byte buffer, valid until the next call from any
// thread. A code of 0 stands for the calling thread's last error.
const char* windows_error_text(uint32_t error_code);

#ifdef __cplusplus
}
#endif
