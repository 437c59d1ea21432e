// The steps of wdi_prepare_driver, each in its own file; all log under the public function's name.
#pragma once

#include "engine/common/log.h"
#include "engine/enumeration/device_list.h"
#include "engine/package/prepare.h"
#include "engine/payload/protected_folder.h"
#include "engine/payload/security.h"
#include "win/handles.h"

#define prepare_err(...) engine_log(LOG_ERROR, "wdi_prepare_driver", __VA_ARGS__)
#define prepare_warn(...) engine_log(LOG_WARNING, "wdi_prepare_driver", __VA_ARGS__)
#define prepare_info(...) engine_log(LOG_INFO, "wdi_prepare_driver", __VA_ARGS__)

namespace velmor::prepare {

// Fills the eleven per-preparation values of inf_token_table for this device and kind (0 to 3).
// 0 or a negative status.
int fill_inf_tokens(const wdi_device_entry& device, const char* inf_name, const wdi_prepare_options* options,
                    int kind);

// The named template (payload) with this preparation's tokens substituted, into `text`; on failure
// an error line and WDI_ST_DENIED.
int substitute_template(const char* name, unique_malloc<char>& text);

// Substitutes the kind's INF template and writes it as UTF-16LE with a byte-order mark into the
// protected folder (as inf_name; none without administrator rights) and to inf_path in the user's
// folder `directory`, whose folders `user_folders` holds.
int write_inf(const char* directory, const char* inf_path, int kind, protected_folder* own, const char* inf_name,
              package_folders& user_folders);

// The catalog steps after the INF: decides whether a catalog is made (never without administrator
// rights, when there is no protected folder), lists its members, creates and signs it in the
// protected folder from the files held there, and copies it to cat_path. Failures of the catalog
// itself and of the user's copy only warn; the result is 0, a substitution error or a user's
// catalog path that is a link.
int make_catalog(const char* directory, const char* inf_name, const char* cat_path,
                 const wdi_prepare_options* options, int kind, protected_folder* own, package_folders& user_folders);

}  // namespace velmor::prepare
