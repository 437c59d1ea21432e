// The engine installs only a package this process prepared. Tests and benchmarks of the runner
// serve scripted installers from folders of their own: such a folder is made the one prepared for
// an INF name, its files (the installer, a filter installer below it) copied into a protected
// folder as a preparation writes them. An installer started there records what it saw into the
// given folder (VELMOR_TEST_RECORD_DIR, which the scripted installer reads).
#pragma once

#include <windows.h>

#include <string>

#include "engine/common/status.h"
#include "engine/package/prepared_package.h"

namespace runner_test {

// Copies the files below `from` into `to`, folders included; false on the first failure.
inline bool copy_tree(const std::string& from, const std::string& to) {
  WIN32_FIND_DATAA found = {};
  HANDLE search = ::FindFirstFileA((from + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool copied = true;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      copied = ::CreateDirectoryA((to + "\\" + name).c_str(), nullptr) && copy_tree(from + "\\" + name, to + "\\" + name);
    } else {
      copied = ::CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE) != FALSE;
    }
  } while (copied && ::FindNextFileA(search, &found));
  ::FindClose(search);
  return copied;
}

// The protected folder's path, or empty on failure.
inline std::string adopt_as_prepared(const std::string& user_folder, const char* inf_name) {
  velmor::protected_folder* prepared = nullptr;
  if (velmor::prepare::begin_package(&prepared) != WDI_ST_OK) return "";
  if (!copy_tree(user_folder, prepared->path())) return "";
  velmor::prepare::complete_package(user_folder.c_str(), inf_name);
  ::SetEnvironmentVariableA("VELMOR_TEST_RECORD_DIR", user_folder.c_str());
  return prepared->path();
}

}  // namespace runner_test
