#include "win/imports.h"

#include <atomic>

#include "win/system_module.h"

namespace velmor::imports {
namespace {

void* look_up(const char* module, const char* function) {
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
