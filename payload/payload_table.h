// The files the program carries, generated into the program at build time: driver files, the two
// installer builds, the licence text, and the INF and catalog-list templates (empty subdir, never
// written to disk). The order is fixed; walk all PAYLOAD_ENTRY_COUNT entries, there is no end marker.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct payload_entry {
  const char* subdir;        // relative to the extraction folder; "." the folder itself; "" a template
  const char* file_name;
  uint32_t size;             // bytes at data (not NUL-terminated)
  int64_t timestamp;         // modification time of the supplied file, seconds since 1970 UTC
  const unsigned char* data; // entries with identical bytes share one block
} payload_entry;

enum { PAYLOAD_ENTRY_COUNT = 28 };

extern const payload_entry payload_table[PAYLOAD_ENTRY_COUNT];

#ifdef __cplusplus
}
#endif
