// The parts of recover_dead_runs, one file each.
#pragma once

namespace velmor {
namespace recovery {

// Removes the protected folders in <Windows>\Temp that no live run holds.
void remove_dead_protected_folders();

// Puts back the restore-point setting a dead run's installer left switched off, once no installer
// of that run is left. Call with the installation mutex held.
void put_back_dead_runs_restore_setting();

}  // namespace recovery
}  // namespace velmor
