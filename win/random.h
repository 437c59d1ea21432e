// Unguessable bytes for names others must not take first (the preparation's folder, key containers).
#pragma once

#include <windows.h>

namespace velmor {

// The system's random generator, resolved at run time from the system folder (BCryptGenRandom from
// Vista on, advapi32's own on XP): a CryptoAPI context for the same bytes costs milliseconds to
// acquire every time.
bool random_bytes(void* out, ULONG size);

}  // namespace velmor
