// The installer pipe between the engine (server) and the installer program (client).
// Installer to engine: one message = one signed type byte, then the payload.
// Engine to installer: replies to the three requests, the string without terminator.
#pragma once

#define INSTALLER_PIPE_NAME "\\\\.\\pipe\\Velmor-installer"

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
  // Asked by the installer before it installs: the reply "1" means unattended (no prompt may
  // appear, a restart is reported rather than offered), anything else the interactive installation.
  PIPEMSG_ASK_UNATTENDED = 9,
  // From the installer: the installation succeeded and needs a restart to finish. The run's status
  // stays what it is; the engine only notes it (wdi_install_needs_restart).
  PIPEMSG_RESTART_NEEDED = 10
};
