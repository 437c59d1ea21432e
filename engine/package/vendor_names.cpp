// Vendor name lookup over the generated vendor_name_table.
//   vendor_name_of
#include "engine/package/vendor_names.h"

extern "C" const char* vendor_name_of(uint16_t vendor_id) {
  for (size_t i = 0; i < vendor_name_count; ++i) {
    if (vendor_name_table[i].vendor_id == vendor_id) return vendor_name_table[i].name;
  }
  return nullptr;
}
