// GUID formatting for INF files.
//   guid_to_string
#include "engine/package/guid_text.h"

#include <cstdio>

namespace {
char guid_text[40];
}

extern "C" const char* guid_to_string(const GUID* guid) {
  static const GUID none = {};
  const GUID& g = guid != nullptr ? *guid : none;
  std::snprintf(guid_text, sizeof(guid_text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return guid_text;
}
