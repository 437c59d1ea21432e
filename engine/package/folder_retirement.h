// Removing protected folders off the caller's path: the previous preparation's folder, and an
// installed package's folder once its installer has ended. Every folder handed over here is removed
// by the end of the process (or, if the process is killed first, left to the next run's sweep).
#pragma once

#include <windows.h>

#include <memory>

#include "engine/payload/protected_folder.h"

namespace velmor::prepare {

// Removes the folder on a thread of its own once `process` (duplicated here; null for none) has
// ended, or `wait_ms` has passed. Without a thread it is removed at once, on the caller's.
void retire_folder(std::unique_ptr<protected_folder> folder, HANDLE process, DWORD wait_ms);

// Returns once every folder handed over so far is removed.
void settle_retired_folders();

}  // namespace velmor::prepare
