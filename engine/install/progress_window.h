// The modal progress window shown while an installation runs on a worker thread.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Shows the window owned by `parent`, runs install_driver_internal(request) on progress_thread and
// returns its status, or -7 after 300 counted seconds, -11 / -6 / -2 when it cannot start.
// Returns once the window is gone.
int run_with_progress_bar(HWND parent, void* request);

// The same window over any routine. At the time-out `stop`, when given, asks the routine to end
// (it runs on the window's thread while the worker still runs); a worker that has not returned
// progress_worker_grace_ms later is terminated, and `abandon`, when given, then releases what the
// routine held. Either way the result is -7.
typedef int (*progress_routine)(void* context);
typedef void (*progress_stop)(void* context);
typedef void (*progress_abandon)(void* context);
int run_routine_with_progress_bar(HWND parent, void* context, progress_routine routine,
                                  progress_abandon abandon);
int run_stoppable_routine_with_progress_bar(HWND parent, void* context, progress_routine routine,
                                            progress_stop stop, progress_abandon abandon);

// The window of the system's "Windows Security" prompt (the last one found), or null.
HWND security_prompt_present(void);

// Period of the window's one-second timer. Tests raise it and post the ticks themselves.
extern UINT progress_tick_ms;
// Counted ticks after which the installation is stopped (PROGRESS_TIMEOUT_TICKS).
extern int progress_timeout_ticks;
// How long a stopped worker is given to return by itself before it is terminated.
extern UINT progress_worker_grace_ms;

#define WM_PROGRESS_START (WM_APP + 0)
#define WM_PROGRESS_DONE (WM_APP + 1)
#define PROGRESS_TIMEOUT_TICKS 300

#ifdef __cplusplus
}
#endif
