// Internal: the crypt32, wintrust and mssign32 entry points of the run-time import list, each
// accessor logging a missing one under its caller's name.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>
#include <mssip.h>
#include <wintrust.h>

#include "win/imports.h"

// ---- run-time entry points ----
// Each accessor returns the entry point, or null after logging "Unable to locate %s() in %s\n" under
// the caller's name. A found entry point is kept; a missing one is looked up (and logged) again.
namespace crypt_api {
#define VELMOR_CRYPT_ENTRY(name) decltype(&::name) name(const char* caller);
#include "engine/signing/crypt_api_list.h"
#undef VELMOR_CRYPT_ENTRY
}  // namespace crypt_api
