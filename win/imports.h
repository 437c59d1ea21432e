// Entry points resolved at run time, from the list in win/import_list.h: each accessor returns the
// function, or null where the system lacks it. A found entry point is kept for the process; a
// missing one is looked up again on the next call. Modules come from the system folder only
// (win/system_module.h) and are never unloaded.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>
#include <commctrl.h>
#include <devpropdef.h>
#include <setupapi.h>
#include <wincrypt.h>
#include <mscat.h>
#include <mssip.h>
#include <newdev.h>
#include <wintrust.h>

#include "win/signer.h"

namespace velmor::imports {

#define VELMOR_IMPORT(module, name, ...) \
  using name##_fn = __VA_ARGS__;          \
  name##_fn name();
#include "win/import_list.h"
#undef VELMOR_IMPORT

// Where an entry point is looked for, for messages about a missing one.
struct origin {
  const char* module;
  const char* function;
};
#define VELMOR_IMPORT(module, name, ...) inline constexpr origin name##_origin{module, #name};
#include "win/import_list.h"
#undef VELMOR_IMPORT

}  // namespace velmor::imports
