// Unguessable bytes for names others must not take first (the preparation's folder, key containers).
#pragma once

#include <windows.h>

namespace velmor {

// The system's random generator (RtlGenRandom, in advapi32 since XP): a CryptoAPI context for the
// same bytes costs milliseconds to acquire every time.
bool random_bytes(void* out, ULONG size);

}  // namespace velmor
