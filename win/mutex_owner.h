// Who made a named mutex that exists already. A copy of this tool, or another elevated program,
// makes it as an administrator or the system account; a mutex of any other account was made first
// to stop the tool, which runs elevated while anybody may create its names.
#pragma once

#include <cstddef>

namespace velmor {

// True when the mutex `name` exists and was made by an account that is neither an administrator
// nor the system, or does not let this process read who made it. `owner` (of `owner_size` bytes)
// then gets the owner's SID as text, or "an account that hides it". False when the mutex is gone,
// or its owner cannot be told (Wine gives its mutexes none).
bool mutex_squatted(const char* name, char* owner, size_t owner_size);

// The one line that says so, in `line` (of `size` bytes), when mutex_squatted says so.
bool squatted_mutex_line(const char* name, char* line, size_t size);

}  // namespace velmor
