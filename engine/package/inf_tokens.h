// Token substitution for INF and catalog-list templates: "#NAME#" in a template becomes the value
// of NAME in a token table. No Windows call here, so the host builds and fuzzes it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { INF_TOKEN_VALUE_SIZE = 1024 };

// One token: a name (null in the terminator) and its value, at most 1023 bytes and a NUL.
struct inf_token {
  const char* name;
  char value[INF_TOKEN_VALUE_SIZE];
};

// Positions in inf_token_table, in table order.
enum inf_token_index {
  INF_TOKEN_INF_FILENAME,
  INF_TOKEN_CAT_FILENAME,
  INF_TOKEN_DEVICE_DESCRIPTION,
  INF_TOKEN_DEVICE_HARDWARE_ID,
  INF_TOKEN_DEVICE_INTERFACE_GUID,
  INF_TOKEN_DEVICE_MANUFACTURER,
  INF_TOKEN_DRIVER_DATE,
  INF_TOKEN_DRIVER_VERSION,
  INF_TOKEN_USE_DEVICE_INTERFACE_GUID,
  INF_TOKEN_WDF_VERSION,
  INF_TOKEN_KMDF_VERSION,
  INF_TOKEN_LK_COMMA,
  INF_TOKEN_LK_DLL,
  INF_TOKEN_LK_X86_DLL,
  INF_TOKEN_LK_EQ_X86,
  INF_TOKEN_LK_EQ_X64,
  INF_TOKEN_COUNT  // the terminator's position
};

// The process-wide table the package preparation fills: 16 tokens and the terminator. Values start
// empty and keep what the last preparation put there.
extern struct inf_token inf_token_table[INF_TOKEN_COUNT + 1];

// Sets a value of inf_token_table, cut to 1023 bytes (null clears it).
void set_inf_token(enum inf_token_index index, const char* value);

// Result codes besides the WDI_ST_* ones: the Windows errors the substitution reports, negated.
enum {
  REPLACE_TOKENS_BAD_ARGUMENTS = -160,  // ERROR_BAD_ARGUMENTS
  TEMPLATE_NOT_FOUND = -1812            // ERROR_RESOURCE_DATA_NOT_FOUND
};

// Substitutes every "<start>NAME<end>" of a known NAME in text[0..size) (size < 0: up to the
// text's NUL) with the token's value; an unknown name leaves the start delimiter in place and goes
// on after it. An empty value is substituted as empty text. With repeat, the output is substituted
// again while replacements happen. Returns the output length with the NUL-terminated output in a
// new heap block at *out (free()), 0 for empty input, -160 for bad arguments (and a table whose
// values keep reproducing their own tokens), -8 when memory runs out.
int replace_tokens(const char* text, int size, char** out, const struct inf_token* table,
                   const char* start, const char* end, int repeat);

// A payload record, as far as the template lookup needs it.
struct payload_entry;

// replace_tokens over the first entry of table[0..count) with an empty subdir and exactly this
// file name, using inf_token_table, "#" as both delimiters and no repeat. -1812 when none matches.
int tokenize_payload_template(const struct payload_entry* table, size_t count, const char* name, char** out);

// The same over the program's payload_table.
int tokenize_template(const char* name, char** out);

#ifdef __cplusplus
}
#endif
