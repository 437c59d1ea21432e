#include "installer/unattended.h"

#include "protocol/pipe_protocol.h"
#include "installer/installer_state.h"
#include "installer/pipe_client.h"

void report_policy_refusal() { pipe_send_type(PIPEMSG_REFUSED_BY_POLICY); }

void report_restart_needed() {
  pipe_log("a restart is needed to finish the installation");
  pipe_send_type(PIPEMSG_RESTART_NEEDED);
}
