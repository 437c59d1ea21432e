// The worker thread that relays the system's setup log to the engine while the installer works.
#pragma once

// Thread routine (C-runtime thread): follows the first setup log found in the system's Windows
// folder (never WINDIR of the environment) from
// its current end, sends every new complete line, sets syslog_ready once it follows a file and
// ends when syslog_stop is set.
unsigned __stdcall syslog_reader(void* unused);
