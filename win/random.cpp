#include "win/random.h"

#include "win/imports.h"

namespace velmor {
namespace {

constexpr ULONG kSystemPreferredRng = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
const wchar_t kRngAlgorithm[] = L"RNG";             // BCRYPT_RNG_ALGORITHM

// Vista's generator takes no "system preferred" flag: it needs a provider of its own.
bool from_rng_provider(void* out, ULONG size) {
  auto open = imports::BCryptOpenAlgorithmProvider();
  auto close = imports::BCryptCloseAlgorithmProvider();
  auto generate = imports::BCryptGenRandom();
  void* provider = nullptr;
  if (open == nullptr || close == nullptr || open(&provider, kRngAlgorithm, nullptr, 0) < 0) return false;
  bool made = generate(provider, static_cast<PUCHAR>(out), size, 0) >= 0;
  close(provider, 0);
  return made;
}

}  // namespace

bool random_bytes(void* out, ULONG size) {
  if (auto generate = imports::BCryptGenRandom()) {
    if (generate(nullptr, static_cast<PUCHAR>(out), size, kSystemPreferredRng) >= 0) return true;
    return from_rng_provider(out, size);
  }
  // XP has no bcrypt; its advapi32 has the generator itself (later systems forward it, and the
  // import list loads the modules it forwards to from the system folder first).
  auto generate = imports::SystemFunction036();
  return generate != nullptr && generate(out, size) != FALSE;
}

}  // namespace velmor
