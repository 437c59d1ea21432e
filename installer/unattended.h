// The unattended installation: whether the engine wants one, and the restart it must hear of.
#pragma once

// Asks the engine over the pipe; true only for its explicit "1" (an engine that does not know the
// request, or any failure, leaves the interactive installation).
bool ask_unattended();

// Tells the engine that the installation succeeded and needs a restart to finish.
void report_restart_needed();
