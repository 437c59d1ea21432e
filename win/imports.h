// Entry points resolved at run time, from the list in win/import_list.h: each accessor returns the
// function, or null where the system lacks it. A found entry point is kept for the process; a
// missing one is looked up again on the next call. Modules come from the system folder only
// (win/system_module.h) and are never unloaded. These accessors are the one way to a function of
// the list: nobody else keeps a pointer to one.
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

// Where an entry point is looked for, for messages about a missing one: origin_of<CryptCATOpen>.
struct origin {
  const char* module;
  const char* function;
};
template <auto accessor>
inline constexpr origin origin_of{nullptr, nullptr};
#define VELMOR_IMPORT(module, name, ...) \
  template <>                            \
  inline constexpr origin origin_of<&name>{module, #name};
#include "win/import_list.h"
#undef VELMOR_IMPORT

// Tests only: the accessor answers stand_in until it is put back with null (then the system's
// entry point is looked up again). Wine lacks some of the system's answers (a pending
// installation that never ends), and a test reaches them this way.
void replace_entry(const origin& which, void* stand_in);
template <auto accessor>
void replace_for_test(decltype(accessor()) stand_in) {
  replace_entry(origin_of<accessor>, reinterpret_cast<void*>(stand_in));
}

}  // namespace velmor::imports
