#include "installer/package_removal.h"

#include "protocol/pipe_protocol.h"
#include "installer/pipe_client.h"
#include "installer/unattended.h"
#include "win/driver_removal.h"

namespace {

void log_line(int, const char* line) { pipe_log("%s", line); }

}  // namespace

int remove_package(const char* published) {
  pipe_log("Removing %s from the driver store - please wait...", published);
  // Uninstalling devices can take longer than the engine's patience for a silent pipe.
  pipe_send_type(PIPEMSG_TIMEOUT_INFINITE);
  velmor::removal_outcome outcome = velmor::remove_published_package(published, log_line);
  pipe_send_type(PIPEMSG_TIMEOUT_FINITE);
  if (outcome.in_wow64) pipe_log("attempted to use a 32 bit installer on a 64 bit machine");
  if (outcome.status == 0 && outcome.restart) report_restart_needed();
  return outcome.status;
}
