// The installer outlives no engine. An engine that was killed can no longer end its installer nor
// put back what the installer switched off; the installer watches the engine's process and, when
// it is gone, puts the restore-point setting back (if it switched it off) and ends at once, even
// from inside a device-installer call that hangs.
#pragma once

#include <windows.h>

// Starts the watch of the process at the server end of `pipe` (where the system can name it: Vista
// and later; XP keeps no restore-point policy to put back).
void watch_engine(HANDLE pipe);

// The switch of the restore-point setting, under the watch's lock: the engine's end between the
// two never leaves the setting off. Only a setting that was switched off is put back.
void switch_restore_points_off();
void put_restore_points_back();
