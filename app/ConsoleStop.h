// A command-line run started from a console can be ended by whoever owns that console, who need
// not be elevated: Ctrl+C, Ctrl+Break, closing the console window, logging off or shutting down.
// Windows' default then ends the tool wherever it is, in the middle of a machine change. While a
// ConsoleStop lives, such an event only asks the run to stop: the run looks between its steps,
// the running installation is ended by the run's bound (RunBound) so that its undo runs, and the
// run reports and exits 1602.
#pragma once

#include <windows.h>

// One per process: a stop once asked for stays asked for.
class ConsoleStop {
 public:
  ConsoleStop();
  // The run has reached its end: a close event's handler, which Windows follows with the end of
  // the process, stops holding it.
  ~ConsoleStop();
  ConsoleStop(const ConsoleStop&) = delete;
  ConsoleStop& operator=(const ConsoleStop&) = delete;

  bool requested() const;
  // Signalled once a stop is asked for (for RunBound); lives as long as the process.
  HANDLE event() const;

  // The handler Windows calls on a console event, on a thread of its own. Public for the tests:
  // Wine sends no Ctrl+Break, close, logoff or shutdown event.
  static BOOL WINAPI OnEvent(DWORD event);
};
