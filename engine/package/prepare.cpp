// Driver package preparation for one device.
//   wdi_prepare_driver
#include "engine/recovery/recovery.h"
#include "engine/package/prepare.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/common/squatted_mutex.h"
#include "engine/common/status.h"
#include "engine/common/utf8.h"
#include "engine/enumeration/config_manager.h"
#include "engine/package/inf_tokens.h"
#include "engine/package/prepare_internal.h"
#include "engine/package/prepared_package.h"
#include "engine/payload/extract.h"
#include "engine/payload/security.h"
#include "win/handles.h"
#include "win/lock.h"
#include "win/system_module.h"
#include "win/utf8.h"

using velmor::unique_malloc;

namespace {

constexpr char kMutexName[] = "Global\\wdi_prepare_driver";
// Whether this process has undone what dead runs left; guarded by the preparation's mutex.
bool recovered = false;
constexpr char kInfExtension[] = ".inf";

bool has_inf_extension(const char* name) {
  size_t len = std::strlen(name);
  return len >= 4 && std::strcmp(name + len - 4, kInfExtension) == 0;
}


// The kind to prepare: the requested one when supported, else the first supported one.
int choose_kind(int requested, int* kind) {
  VS_FIXEDFILEINFO* version = requested < DRIVER_KIND_WITH_TEMPLATE_COUNT ? &driver_version_table[requested] : nullptr;
  if (wdi_is_driver_supported(requested, version)) {
    *kind = requested;
    return WDI_ST_OK;
  }
  for (int k = DRIVER_KIND_WINUSB; k < DRIVER_KIND_COUNT; ++k) {
    if (wdi_is_driver_supported(k, nullptr)) {
      prepare_warn("unsupported or no driver type specified, will use %s", driver_kind_names[k]);
      *kind = k;
      return WDI_ST_OK;
    }
  }
  prepare_warn("program assertion failed - no driver supported");
  return WDI_ST_MISSING;
}

void add_libusbk_files_to_libusb0() {
  prepare_info("K driver available - adding the libusbK DLLs to the libusb-win32 inf");
  set_inf_token(INF_TOKEN_LK_COMMA, ",");
  set_inf_token(INF_TOKEN_LK_DLL, "libusbk.dll");
  set_inf_token(INF_TOKEN_LK_X86_DLL, "libusbk_x86.dll");
  set_inf_token(INF_TOKEN_LK_EQ_X86, "= 1,x86");
  set_inf_token(INF_TOKEN_LK_EQ_X64, "= 1,amd64");
}

}  // namespace

extern "C" int wdi_prepare_driver(const struct wdi_device_entry* device, const char* directory,
                                  const char* inf_name, const struct wdi_prepare_options* options) {
  // Held for the whole preparation: it also guards the process-wide token and version tables.
  velmor::operation_mutex mutex(kMutexName);
  if (mutex.busy()) log_squatted_mutex("wdi_prepare_driver", kMutexName);
  if (!mutex.acquired()) return mutex.busy() ? WDI_ST_IN_USE : WDI_ST_NO_RESOURCE;

  if (device == nullptr || inf_name == nullptr) {
    prepare_err("one of the required parameter is NULL");
    return WDI_ST_BAD_PARAMETER;
  }
  if (!init_dlls()) return WDI_ST_NO_RESOURCE;
  if (!has_inf_extension(inf_name)) {
    prepare_err("inf name provided must have a '.inf' extension");
    return WDI_ST_BAD_PARAMETER;
  }

  unique_malloc<char> temp;
  if (directory == nullptr || directory[0] == '\0') {
    temp.reset(velmor::temp_folder_utf8());
    if (!temp) {
      prepare_err("no path provided and unable to use TEMP");
      return WDI_ST_BAD_PARAMETER;
    }
    directory = temp.get();
    prepare_info("no path provided - extracting to '%s'", directory);
  }
  // The user's folders are checked once, from the volume root down, and held until the last file
  // of the user's copy is written.
  velmor::package_folders user_folders;
  int status = velmor::check_dir_below(directory, directory, user_folders);
  if (status != WDI_ST_OK) return status;

  int requested = options != nullptr ? options->driver_kind : DRIVER_KIND_WINUSB;
  if (requested < 0 || requested >= DRIVER_KIND_COUNT) {
    prepare_err("unknown type");
    return WDI_ST_BAD_PARAMETER;
  }
  int kind = DRIVER_KIND_WINUSB;
  status = choose_kind(requested, &kind);
  if (status != WDI_ST_OK) return status;
  // Kind 4 is never supported, so a template always exists from here on.
  if (kind >= DRIVER_KIND_WITH_TEMPLATE_COUNT) return WDI_ST_MISSING;
  if (kind == DRIVER_KIND_LIBUSB0 && wdi_is_driver_supported(DRIVER_KIND_LIBUSBK, nullptr)) {
    add_libusbk_files_to_libusb0();
  }

  if (device->description == nullptr) {
    prepare_err("no device ID was given for the device - aborting");
    return WDI_ST_BAD_PARAMETER;
  }
  // Everything that is hashed, signed and installed comes from a protected folder of this
  // preparation; the user's folder receives the same files as the user's copy. Without
  // administrator rights there is no such folder to be had (one made in the Windows folder's Temp
  // could be neither held nor removed again), nor anything to sign or install: the user's copy
  // alone is written, and what a killed run left waits for an administrator's run.
  const bool elevated = velmor::user_is_admin();
  velmor::protected_folder* own = nullptr;
  if (elevated) {
    // What a killed preparation or installation left goes before this one adds anything. Once per
    // process: the sweep lists the Windows folder's Temp and reads the record, which cost every
    // preparation more than its own files; a run that dies while this process lives is left to the
    // next process (and its folder to the next installation's sweep).
    if (!recovered) {
      recover_before_preparation();
      recovered = true;
    }
    status = velmor::prepare::begin_package(&own);
    if (status != WDI_ST_OK) return status;
  }
  auto drop = velmor::scope_exit([] { velmor::prepare::drop_package(); });
  if (own != nullptr) status = velmor::extract_binaries_into(*own);
  if (status != WDI_ST_OK) return status;
  status = velmor::extract_binaries(directory, user_folders);
  if (status != WDI_ST_OK) return status;

  size_t dir_len = std::strlen(directory);
  size_t name_len = std::strlen(inf_name);
  if (dir_len >= MAX_PATH || name_len >= MAX_PATH || dir_len + name_len > MAX_PATH - 2) {
    prepare_err("qualified path for inf file is too long: '%s\\%s", directory, inf_name);
    return WDI_ST_NO_RESOURCE;
  }
  char inf_path[MAX_PATH];
  std::snprintf(inf_path, sizeof(inf_path), "%s\\%s", directory, inf_name);
  char cat_path[MAX_PATH];
  std::snprintf(cat_path, sizeof(cat_path), "%s", inf_path);
  std::memcpy(cat_path + std::strlen(cat_path) - 3, "cat", 3);

  status = velmor::prepare::fill_inf_tokens(*device, inf_name, options, kind);
  if (status != WDI_ST_OK) return status;
  status = velmor::prepare::write_inf(directory, inf_path, kind, own, inf_name, user_folders);
  if (status != WDI_ST_OK) return status;
  status = velmor::prepare::make_catalog(directory, inf_name, cat_path, options, kind, own, user_folders);
  if (status != WDI_ST_OK) return status;
  if (own == nullptr) return WDI_ST_OK;  // nothing that could be installed: the last package is dropped
  velmor::prepare::complete_package(directory, inf_name);
  drop.dismiss();
  return WDI_ST_OK;
}
