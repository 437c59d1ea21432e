#include "installer/unattended.h"

#include "protocol/pipe_protocol.h"
#include "installer/installer_state.h"
#include "installer/pipe_client.h"

bool ask_unattended() {
  char reply[reply_capacity] = {};
  int count = request_value(PIPEMSG_ASK_UNATTENDED, reply);
  bool unattended = count == 1 && reply[0] == '1';
  pipe_log("installation mode: %s", unattended ? "unattended" : "interactive");
  return unattended;
}

void report_policy_refusal() { pipe_send_type(PIPEMSG_REFUSED_BY_POLICY); }

void report_restart_needed() {
  pipe_log("a restart is needed to finish the installation");
  pipe_send_type(PIPEMSG_RESTART_NEEDED);
}
