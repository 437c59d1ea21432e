// Small helpers shared by the Windows test programs.
#pragma once

#include <windows.h>

#include <string>

namespace wine_test {

// The Windows version the bench asked Wine to report to this program ("default" when none): the
// bench runs a copy named "<program>.<version>.exe".
inline std::string version_under_test() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path);
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.size() > 4) name.resize(name.size() - 4);  // ".exe"
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? "default" : name.substr(dot + 1);
}

// Folder of this test program, with a trailing backslash.
inline std::string program_folder() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.find_last_of("\\/") + 1);
}

// Runs a command line, waits for it and returns its exit code (or -1 when it cannot start).
inline long run_and_wait(const std::string& command_line, DWORD timeout_ms = 60000) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string cl = command_line;
  if (!::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  ::WaitForSingleObject(pi.hProcess, timeout_ms);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return static_cast<long>(code);
}

}  // namespace wine_test
