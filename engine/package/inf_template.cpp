// Substitution of the templates the program carries.
//   tokenize_template
#include "engine/package/inf_tokens.h"
#include "payload/payload_table.h"

extern "C" int tokenize_template(const char* name, char** out) {
  return tokenize_payload_template(payload_table, PAYLOAD_ENTRY_COUNT, name, out);
}
