#include "engine/signing/crypt_api.h"

#include "engine/common/system.h"

namespace crypt_api {
#define VELMOR_CRYPT_ENTRY(name)                                                               \
  decltype(&::name) name(const char* caller) {                                                 \
    return required_import(caller, velmor::imports::name(), velmor::imports::name##_origin);   \
  }
#include "engine/signing/crypt_api_list.h"
#undef VELMOR_CRYPT_ENTRY
}  // namespace crypt_api
