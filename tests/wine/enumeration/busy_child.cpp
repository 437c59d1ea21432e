// Child program of the busy tests: runs one engine list operation and exits with its status
// (negated), or 100 when the caller's list pointer was touched despite a busy result.
//   enumeration_busy_child create|destroy
#include <cstring>

#include "engine/common/status.h"
#include "engine/enumeration/device_list.h"

int main(int argc, char** argv) {
  if (argc != 2) return 99;
  if (std::strcmp(argv[1], "create") == 0) {
    wdi_device_entry* const sentinel = reinterpret_cast<wdi_device_entry*>(0x10);
    wdi_device_entry* list = sentinel;
    wdi_list_options options = {1, 1, 1};
    int status = wdi_create_list(&list, &options);
    if (status == WDI_ST_IN_USE && list != sentinel) return 100;
    if (status == WDI_ST_OK) wdi_destroy_list(list);
    return -status;
  }
  return -wdi_destroy_list(nullptr);
}
