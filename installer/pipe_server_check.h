// Whom the installer talks to: the engine it reports to runs elevated, so the server end of the
// pipe must belong to an administrator or the system account. A user who made the pipe name
// first would otherwise choose the hardware ID that the elevated installer installs for.
#pragma once

#include <windows.h>

// True when the process serving `pipe` runs as the system account or with the administrators'
// rights (its token's owner, or an enabled group), or where the system cannot name a pipe's
// server (XP). False when it cannot be told otherwise.
bool pipe_server_is_trusted(HANDLE pipe);
