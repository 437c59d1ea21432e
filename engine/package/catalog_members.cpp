// Member names of a package catalog from its list template.
//   read_catalog_members
#include "engine/package/catalog_members.h"

#include <cstring>

#include "engine/common/log.h"

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
}  // namespace

extern "C" int read_catalog_members(char* text, const char* members[CATALOG_MAX_LISTED_MEMBERS]) {
  int count = 0;
  if (text == nullptr) return 0;
  char* p = text;
  while (*p != '\0') {
    char* line = p;
    while (*p != '\0' && *p != '\r' && *p != '\n') ++p;
    if (*p != '\0') *p++ = '\0';
    char* tail = line + std::strlen(line);
    while (tail > line && is_blank(tail[-1])) *--tail = '\0';
    while (is_blank(*line)) ++line;
    if (*line == '\0' || *line == '#') continue;
    if (count == CATALOG_MAX_LISTED_MEMBERS) {
      engine_log(LOG_WARNING, "wdi_prepare_driver", "more than %d cat entries - ignoring the rest",
                 CATALOG_MAX_LISTED_MEMBERS);
      break;
    }
    members[count++] = line;
  }
  return count;
}
