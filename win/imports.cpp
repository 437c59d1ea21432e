#include "win/imports.h"

#include <atomic>
#include <cstring>

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

// Threads may race to the first lookup; every one stores the same address.
void* resolve(std::atomic<void*>& found, const origin& where) {
  void* address = found.load();
  if (address == nullptr) {
    address = look_up(where.module, where.function);
    if (address != nullptr) found.store(address);
  }
  return address;
}

#define VELMOR_IMPORT(module, name, ...) std::atomic<void*> name##_found{nullptr};
#include "win/import_list.h"
#undef VELMOR_IMPORT

struct entry {
  const origin& where;
  std::atomic<void*>& found;
};
const entry entries[] = {
#define VELMOR_IMPORT(module, name, ...) {origin_of<&name>, name##_found},
#include "win/import_list.h"
#undef VELMOR_IMPORT
};

}  // namespace

#define VELMOR_IMPORT(module, name, ...) \
  name##_fn name() { return reinterpret_cast<name##_fn>(resolve(name##_found, origin_of<&name>)); }
#include "win/import_list.h"
#undef VELMOR_IMPORT

void replace_entry(const origin& which, void* stand_in) {
  for (const entry& e : entries) {
    if (&e.where == &which) e.found.store(stand_in);
  }
}

}  // namespace velmor::imports
