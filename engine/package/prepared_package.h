// The package of the last preparation: its protected folder, and the user's folder and INF name it
// was prepared for. The installation of that folder and INF runs from the protected folder.
#pragma once

#include <windows.h>

#include "engine/payload/protected_folder.h"

namespace velmor::prepare {

// A new protected folder for a preparation; the previous package is dropped (its folder removed
// off the caller's path).
// 0 or a status after an error line.
int begin_package(protected_folder** folder);
// The preparation for user_folder and inf_name succeeded: its package may be installed.
void complete_package(const char* user_folder, const char* inf_name);
// Drops the package being prepared (a failed preparation).
void drop_package();

// When the last preparation was for this folder and INF: copies its protected folder's path into
// `folder` and returns true.
bool prepared_folder(const char* user_folder, const char* inf_name, char (&folder)[MAX_PATH]);
// Removes the package once its installer has ended (or `wait_ms` passed), off the caller's path.
void release_prepared_folder(const char* folder, HANDLE installer, DWORD wait_ms);

}  // namespace velmor::prepare
