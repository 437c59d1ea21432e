#include "win/imports.h"

#include <atomic>

#include "win/system_module.h"

namespace velmor::imports {
namespace {

void* look_up(const char* module, const char* function) {
  // Later advapi32 forwards its generator and CryptoAPI to cryptbase and cryptsp, which are no
  // known DLLs: a forwarder's module not yet loaded is looked for beside the program, so they come
  // from the system folder first (where the system has them).
  if (_stricmp(module, "advapi32.dll") == 0) {
    load_system_library("cryptbase.dll");
    load_system_library("cryptsp.dll");
  }
  HMODULE h = load_system_library(module);
  return h != nullptr ? reinterpret_cast<void*>(::GetProcAddress(h, function)) : nullptr;
}

}  // namespace

// Threads may race to the first lookup; every one stores the same address.
#define VELMOR_IMPORT(module, name, ...)                                          \
  name##_fn name() {                                                              \
    static std::atomic<name##_fn> cached{nullptr};                                \
    name##_fn found = cached.load();                                              \
    if (found == nullptr) {                                                       \
      found = reinterpret_cast<name##_fn>(look_up(module, #name));                \
      if (found != nullptr) cached.store(found);                                  \
    }                                                                             \
    return found;                                                                 \
  }
#include "win/import_list.h"
#undef VELMOR_IMPORT

}  // namespace velmor::imports
