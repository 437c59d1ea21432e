#include "win/random.h"

#include <ntsecapi.h>

namespace velmor {

bool random_bytes(void* out, ULONG size) { return RtlGenRandom(out, size) != FALSE; }

}  // namespace velmor
