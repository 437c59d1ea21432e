#include "engine/crypt_api.h"

#include "engine/system.h"

namespace crypt_api {
#define VELMOR_CRYPT_ENTRY(module, name)                                               \
  decltype(&::name) name(const char* caller) {                                          \
    static decltype(&::name) cached = nullptr;                                          \
    if (cached == nullptr) cached = resolve_function<decltype(&::name)>(caller, module, #name); \
    return cached;                                                                       \
  }
#include "engine/crypt_api_list.h"
#undef VELMOR_CRYPT_ENTRY
}  // namespace crypt_api
