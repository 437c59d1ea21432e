#include "engine/install/pipe_messages.h"

#include <cstdlib>
#include <cstring>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "protocol/pipe_protocol.h"

struct wdi_device_entry* active_device = nullptr;
int32_t active_filter_mode = 0;
int32_t active_unattended = 0;
int32_t install_restart_needed = 0;
int32_t install_refused_by_policy = 0;
int32_t installer_completed = 0;
int32_t installer_status_final = 0;
int32_t installer_status_received = 0;
uint32_t pipe_read_timeout = PIPE_READ_TIMEOUT_FINITE;

namespace {

uint32_t finite_allowance = PIPE_READ_TIMEOUT_FINITE;

// A missing string goes out as one zero byte, so that the installer's read never sees "nothing";
// an empty one goes out as an empty message.
void reply_with_string(const char* text, const char* missing_line, int missing_level) {
  if (text == nullptr) {
    engine_log(missing_level, "process_message", "%s", missing_line);
    send_installer_reply("", 1);
    return;
  }
  send_installer_reply(text, static_cast<uint32_t>(std::strlen(text)));
}

}  // namespace

extern "C" uint32_t pipe_read_timeout_finite(void) { return finite_allowance; }

extern "C" void pipe_read_timeout_for_tests(uint32_t finite_ms) {
  finite_allowance = finite_ms != 0 ? finite_ms : PIPE_READ_TIMEOUT_FINITE;
  pipe_read_timeout = finite_allowance;
}

extern "C" int process_message(char* buffer, uint32_t length) {
  if (length == 0) return WDI_ST_BAD_PARAMETER;
  if (active_device == nullptr) {
    wdi_err("program assertion failed - no current device");
    return WDI_ST_MISSING;
  }
  // Text payloads end at the first zero byte or at the end of the message.
  buffer[length] = '\0';

  if (active_filter_mode) {
    engine_log(LOG_INFO, "install-filter", "%s", buffer);
    return WDI_ST_OK;
  }

  const signed char type = static_cast<signed char>(buffer[0]);
  const char* text = buffer + 1;
  switch (type) {
    case PIPEMSG_LOG:
      if (length < 2) break;
      engine_log(LOG_DEBUG, "installer process", "%s", text);
      return WDI_ST_OK;
    case PIPEMSG_SYSLOG:
      if (length < 2) break;
      engine_log(LOG_DEBUG, "syslog", "%s", text);
      return WDI_ST_OK;
    case PIPEMSG_ASK_DEVICE_ID:
      wdi_dbg("got request for device_id");
      reply_with_string(active_device->instance_id, "no device_id - sending empty string", LOG_DEBUG);
      return WDI_ST_OK;
    case PIPEMSG_ASK_HARDWARE_ID:
      wdi_dbg("got request for hardware_id");
      reply_with_string(active_device->first_hardware_id, "no hardware_id - sending empty string", LOG_DEBUG);
      return WDI_ST_OK;
    case PIPEMSG_ASK_USER_SID: {
      char* sid = current_user_sid_text();
      reply_with_string(sid, "no user_sid - sending empty string", LOG_WARNING);
      std::free(sid);
      return WDI_ST_OK;
    }
    case PIPEMSG_TIMEOUT_INFINITE:
      wdi_dbg("switching timeout to infinite");
      pipe_read_timeout = PIPE_READ_TIMEOUT_INFINITE;
      return WDI_ST_OK;
    case PIPEMSG_TIMEOUT_FINITE:
      wdi_dbg("switching timeout back to finite");
      pipe_read_timeout = finite_allowance;
      return WDI_ST_OK;
    case PIPEMSG_STATUS:
      if (length < 2) break;
      installer_status_received = 1;
      if (installer_completed) installer_status_final = 1;
      return static_cast<signed char>(buffer[1]);
    case PIPEMSG_COMPLETED:
      wdi_dbg("installer process completed");
      installer_completed = 1;
      return WDI_ST_OK;
    case PIPEMSG_ASK_UNATTENDED:
      wdi_dbg("got request for the installation mode");
      send_installer_reply(active_unattended ? "1" : "0", 1);
      return WDI_ST_OK;
    case PIPEMSG_RESTART_NEEDED:
      wdi_info("the installation needs a restart to finish");
      install_restart_needed = 1;
      return WDI_ST_OK;
    case PIPEMSG_REFUSED_BY_POLICY:
      wdi_info("a device installation policy refused the installation");
      install_refused_by_policy = 1;
      return WDI_ST_OK;
    default:
      wdi_err("unrecognized installer message");
      return WDI_ST_MISSING;
  }

  // A text or status message without its payload.
  if (type == PIPEMSG_LOG) {
    wdi_err("print_message: no data");
  } else if (type == PIPEMSG_SYSLOG) {
    wdi_err("syslog_message: no data");
  } else {
    wdi_err("set status: no data");
  }
  return WDI_ST_MISSING;
}
