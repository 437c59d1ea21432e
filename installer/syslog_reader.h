// The worker thread that relays the system's setup log to the engine while the installer works.
#pragma once

// Thread routine (C-runtime thread): follows the first setup log found in the system's Windows
// folder (never WINDIR of the environment: the installer runs elevated) from its current end and
// sends every new complete line; sets syslog_ready once it follows a file. The log is opened only
// for the moment of each poll, so that the system's own writers never wait on it. When syslog_stop
// is set (the installation's last section is written), it reads the log to its end once more and
// ends.
unsigned __stdcall syslog_reader(void* unused);
