// What the unattended commands learn from Windows before they act: whether anybody could answer a
// prompt, whether Windows accepts our self-signed packages at all, and the bound of the whole run.
#pragma once

#include <windows.h>

#include "win/handles.h"

// False for the system account, a service session or a window station nobody sees.
bool HasInteractiveDesktop();

// The native machine (IMAGE_FILE_MACHINE_*) where IsWow64Process2 exists, else 0.
unsigned NativeMachine();
// True when Windows runs in S mode (only code signed by Microsoft runs).
bool SModeActive();

// The bound of a whole run or of one attempt: from construction on, a watchdog thread ends
// whichever installer process runs once `limit_ms` have passed, or as soon as `ends_early` (an
// event, optional) is signalled, and keeps ending new ones until the bound is destroyed.
class RunBound {
 public:
  explicit RunBound(unsigned limit_ms, HANDLE ends_early = nullptr);
  ~RunBound();
  RunBound(const RunBound&) = delete;
  RunBound& operator=(const RunBound&) = delete;

  bool expired() const;
  unsigned remaining_ms() const;
  unsigned limit_ms() const { return limit_ms_; }

 private:
  static unsigned __stdcall Watch(void* self);

  unsigned limit_ms_;
  DWORD start_;
  HANDLE ends_early_;  // not owned
  velmor::unique_handle stop_;
  velmor::unique_handle thread_;
};
