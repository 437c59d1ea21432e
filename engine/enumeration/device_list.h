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

// Lists the present devices of the "USB" enumerator that pass the options' filters (null options:
// all flags 0). 0 with the list stored; -4 with a null list when nothing passes; -6 at once while
// any process on the machine enumerates (the list pointer is then left as it was); -11 when the
// busy mutex or an entry point is missing, or memory runs out.
int wdi_create_list(struct wdi_device_entry** list, const struct wdi_list_options* options);
// Frees a whole list (null is fine): 0, or -6 while another process frees one (nothing is freed),
// or -11 when the busy mutex cannot be created.
int wdi_destroy_list(struct wdi_device_entry* list);

// Driver services that mark a hub, compared case-insensitively.
#define WDI_HUB_SERVICE_COUNT 14
extern const char* const hub_service_names[WDI_HUB_SERVICE_COUNT];

// Engine-internal: frees one entry's strings and the entry (null is fine).
void free_device_entry(struct wdi_device_entry* entry);

#ifdef __cplusplus
}
#endif
