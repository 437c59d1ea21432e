#include "app/ConsoleStop.h"

#include "win/handles.h"

namespace {

// Windows ends the process about 5 s after a close, logoff or shutdown event, whatever the
// handler returns: the handler holds it a little less, for the run to undo its step.
constexpr DWORD kCloseHoldMs = 4500;

// Process-wide and never closed before the process ends: the system calls the handler on a thread
// of its own, which may still be inside it when the run is over.
struct StopEvents {
  velmor::unique_handle requested{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  velmor::unique_handle finished{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

StopEvents& Events() {
  static StopEvents events;
  return events;
}

}  // namespace

BOOL WINAPI ConsoleStop::OnEvent(DWORD event) {
  StopEvents& events = Events();
  ::SetEvent(events.requested.get());
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Close, logoff, shutdown: returning lets Windows end the process at once.
  ::WaitForSingleObject(events.finished.get(), kCloseHoldMs);
  return TRUE;
}

ConsoleStop::ConsoleStop() {
  Events();  // made here, not on the handler's thread
  ::SetConsoleCtrlHandler(&OnEvent, TRUE);
}

ConsoleStop::~ConsoleStop() {
  ::SetEvent(Events().finished.get());
  ::SetConsoleCtrlHandler(&OnEvent, FALSE);
}

bool ConsoleStop::requested() const { return ::WaitForSingleObject(Events().requested.get(), 0) == WAIT_OBJECT_0; }

HANDLE ConsoleStop::event() const { return Events().requested.get(); }
