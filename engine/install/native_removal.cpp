// remove_package_natively: the device side of a removal, which a 32-bit process on 64-bit Windows
// may not do, in the installer program of the machine's bitness.
#include "engine/install/native_removal.h"

#include <cstdio>
#include <cstring>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/payload/protected_folder.h"
#include "payload/payload_table.h"
#include "protocol/pipe_protocol.h"
#include "win/system_module.h"

namespace {

const char kCaller[] = "wdi_remove_store_package";

const payload_entry* installer_entry(const char* name) {
  for (const payload_entry& entry : payload_table) {
    if (entry.file_name != nullptr && entry.subdir != nullptr && std::strcmp(entry.subdir, ".") == 0 &&
        std::strcmp(entry.file_name, name) == 0) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

int remove_package_natively(const char* published, bool* restart) {
  *restart = false;
  const bool windows64 = sizeof(void*) == 8 || velmor::running_under_wow64();
  const char* name = windows64 ? "installer_x64.exe" : "installer_x86.exe";
  const payload_entry* entry = installer_entry(name);
  if (entry == nullptr) {
    engine_log(LOG_ERROR, kCaller, "this application does not contain the required %s bit installer",
               windows64 ? "64" : "32");
    return WDI_ST_MISSING;
  }
  // Started elevated: only a folder nobody else can write to may hold it.
  velmor::protected_folder folder;
  int status = folder.create(kCaller);
  if (status != WDI_ST_OK) return status;
  status = folder.write_file(name, entry->data, entry->size, kCaller);
  if (status != WDI_ST_OK) return status;
  folder.close_files();
  engine_log(LOG_INFO, kCaller, "removing %s with the %s bit installer", published, windows64 ? "64" : "32");
  char arguments[MAX_PATH];
  int length = std::snprintf(arguments, sizeof(arguments), "%s \"%s\"", INSTALLER_REMOVE_PACKAGE_SWITCH, published);
  if (length < 0 || length >= static_cast<int>(sizeof(arguments))) return WDI_ST_OVERRUN;
  int restart_needed = 0;
  status = run_native_installer(folder.path().c_str(), arguments, &restart_needed);
  *restart = restart_needed != 0;
  return status;
}
