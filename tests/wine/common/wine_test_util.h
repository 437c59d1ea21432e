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

// Deletes a file, or a folder with everything in it (read-only files too). The path is UTF-8 and
// may end in a backslash.
inline void remove_tree(const std::string& utf8_path) {
  std::string path = utf8_path;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  int n = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  if (n <= 1) return;
  std::wstring w(static_cast<size_t>(n - 1), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &w[0], n);
  DWORD attributes = ::GetFileAttributesW(w.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(w.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileW((w + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      int m = ::WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
      std::string child(static_cast<size_t>(m > 0 ? m - 1 : 0), '\0');
      if (m > 1) ::WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, &child[0], m, nullptr, nullptr);
      remove_tree(path + "\\" + child);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
  }
  ::RemoveDirectoryW(w.c_str());
}

}  // namespace wine_test
