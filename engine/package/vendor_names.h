// USB vendor names by vendor ID, generated at build time from the public USB ID list.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct vendor_name {
  uint16_t vendor_id;
  const char* name;  // UTF-8
};

// Sorted by ID, each ID once; the maker's own ID 0x2E3C is never in it.
extern const struct vendor_name vendor_name_table[];
extern const size_t vendor_name_count;
// The "# Version:" of the list the table was generated from.
extern const char vendor_name_list_version[];

// The name of a vendor ID, or null when the table lacks it.
const char* vendor_name_of(uint16_t vendor_id);

#ifdef __cplusplus
}
#endif
