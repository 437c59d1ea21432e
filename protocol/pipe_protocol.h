// The installer pipe between the engine (server) and the installer program (client).
// Installer to engine: one message = one signed type byte, then the payload.
// Engine to installer: replies to the three requests, the string without terminator.
#pragma once

#include <string.h>

// The pipe's name: this prefix and INSTALLER_PIPE_ID_LENGTH hexadecimal digits the engine draws for
// each run, so that no other program can make the pipe first. The engine hands the digits to the
// installer as one argument, INSTALLER_PIPE_ARGUMENT followed by them, after the INF name.
#define INSTALLER_PIPE_PREFIX "\\\\.\\pipe\\Velmor-installer-"
#define INSTALLER_PIPE_ARGUMENT "/pipe="
#define INSTALLER_PIPE_ID_LENGTH 32
// Prefix, digits and terminator.
#define INSTALLER_PIPE_NAME_SIZE (sizeof(INSTALLER_PIPE_PREFIX) + INSTALLER_PIPE_ID_LENGTH)

// True when `argument` is the pipe's argument, with exactly INSTALLER_PIPE_ID_LENGTH hexadecimal
// digits; `name` (INSTALLER_PIPE_NAME_SIZE bytes, may be null) then gets the pipe's full name.
inline bool installer_pipe_argument(const char* argument, char* name) {
  const size_t lead = sizeof(INSTALLER_PIPE_ARGUMENT) - 1;
  if (argument == nullptr || strncmp(argument, INSTALLER_PIPE_ARGUMENT, lead) != 0) return false;
  const char* id = argument + lead;
  for (size_t i = 0; i < INSTALLER_PIPE_ID_LENGTH; ++i) {
    const char c = id[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  if (id[INSTALLER_PIPE_ID_LENGTH] != '\0') return false;
  if (name != nullptr) {
    memcpy(name, INSTALLER_PIPE_PREFIX, sizeof(INSTALLER_PIPE_PREFIX) - 1);
    memcpy(name + sizeof(INSTALLER_PIPE_PREFIX) - 1, id, INSTALLER_PIPE_ID_LENGTH + 1);
  }
  return true;
}

// The installer's command line: the INF name to install, or this switch and the published name of
// a package to remove from the driver store with its devices ("--remove-package "oem12.inf"").
#define INSTALLER_REMOVE_PACKAGE_SWITCH "--remove-package"
// An unattended installation's command line also carries this switch: no prompt may appear, a
// restart is reported (PIPEMSG_RESTART_NEEDED) rather than offered. The dialog's installations carry
// none and exchange only the messages they always did.
#define INSTALLER_UNATTENDED_SWITCH "/unattended"

enum installer_pipe_message {
  PIPEMSG_LOG = 0,
  PIPEMSG_SYSLOG = 1,
  PIPEMSG_ASK_DEVICE_ID = 2,
  PIPEMSG_ASK_HARDWARE_ID = 3,
  PIPEMSG_ASK_USER_SID = 4,
  PIPEMSG_TIMEOUT_INFINITE = 5,
  PIPEMSG_TIMEOUT_FINITE = 6,
  PIPEMSG_STATUS = 7,
  PIPEMSG_COMPLETED = 8,
  // The installation mode asked over the pipe: reply "1" unattended, anything else interactive.
  // Today's installer takes the mode from INSTALLER_UNATTENDED_SWITCH and never asks; the engine
  // still answers an installer that does.
  PIPEMSG_ASK_UNATTENDED = 9,
  // From the installer: the installation succeeded and needs a restart to finish. The run's status
  // stays what it is; the engine only notes it (wdi_install_needs_restart).
  PIPEMSG_RESTART_NEEDED = 10,
  // From the installer: the device installer refused the installation because a device
  // installation policy forbids it (0xE0000248). The status says the run failed; the engine notes
  // the reason (wdi_install_refused_by_policy), which no status code carries.
  PIPEMSG_REFUSED_BY_POLICY = 11
};
