// The installation options record the dialog keeps, until the engine's installation runner
// publishes its own declaration (then this header only includes that one).
#pragma once

#include <windows.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct wdi_install_options {
  HWND owner_window;         // non-null: progress window owned by this window
  int32_t filter_mode;       // run the filter installer instead of the package installer
  uint32_t pending_wait_ms;  // wait for pending device installations first
};

#ifdef __cplusplus
}
#endif
