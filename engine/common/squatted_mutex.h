// A machine-wide mutex of the engine that was found taken.
#pragma once

// When the account that made the mutex `name` is neither an administrator nor the system, one
// error line under `caller` names the mutex and that account: the operation is still reported busy
// (nothing can take a name back from its maker), but the log says that no other copy is at work.
void log_squatted_mutex(const char* caller, const char* name);
