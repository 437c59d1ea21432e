// Android devices known by vendor and product ID.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ANDROID_DEVICE_INTERFACE_GUID "{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}"

struct android_device {
  uint16_t vendor_id;
  uint16_t product_id;
};

enum { ANDROID_DEVICE_COUNT = 128 };
extern const struct android_device android_device_table[ANDROID_DEVICE_COUNT];

// 1 when both IDs equal a pair of android_device_table.
int is_android_device(uint16_t vendor_id, uint16_t product_id);

#ifdef __cplusplus
}
#endif
