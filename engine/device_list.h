// USB devices and interfaces present on the machine, as the engine lists them.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// One device node of the "USB" enumerator; a list is linked through next_entry and freed only by
// wdi_destroy_list. Every string is owned by the entry (C heap).
struct wdi_device_entry {
  struct wdi_device_entry* next_entry;
  uint16_t vendor_id;
  uint16_t product_id;
  int32_t is_interface;
  uint8_t interface_number;
  char* description;
  char* service_name;
  char* instance_id;
  char* first_hardware_id;
  char* first_compatible_id;
  char* first_upper_filter;
  uint64_t installed_version;
};

struct wdi_list_options {
  int32_t include_installed;
  int32_t include_hubs;
  int32_t trim_description;
};

int wdi_create_list(struct wdi_device_entry** list, const struct wdi_list_options* options);
int wdi_destroy_list(struct wdi_device_entry* list);

#ifdef __cplusplus
}
#endif
