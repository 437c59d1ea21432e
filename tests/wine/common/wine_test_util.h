// Small helpers shared by the Windows test programs.
#pragma once

#include <windows.h>
#include <process.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

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

// The system folder of the prefix for programs of one bitness, with a trailing backslash. A
// 32-bit test reaches the 64-bit one through "Sysnative" (its own "system32" is redirected).
inline std::string system_folder(bool sixty_four = sizeof(void*) == 8) {
  char path[MAX_PATH] = {};
  BOOL wow64 = FALSE;
  if (sixty_four && sizeof(void*) == 4 && ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
    ::GetWindowsDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\Sysnative\\";
  }
  ::GetSystemDirectoryA(path, MAX_PATH);
  return std::string(path) + "\\";
}

inline std::string file_bytes(const std::string& path) {
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::string();
  std::string data(::GetFileSize(f, nullptr), '\0');
  DWORD got = 0;
  if (!data.empty()) ::ReadFile(f, &data[0], static_cast<DWORD>(data.size()), &got, nullptr);
  ::CloseHandle(f);
  data.resize(got);
  return data;
}

// Test-only modules reach the programs under test the way the programs load system modules: from
// the system folder, never from beside the program. Puts `source` there as `name` (say
// "newdev.dll"); Wine takes it only in programs run with a native override for that name
// (WINEDLLOVERRIDES=newdev=n,b), all others keep Wine's builtin module. Wine's own file is kept as
// "<name>.wine" for restore_system_module. The file is replaced by renaming a full copy over it,
// so a process that has the old one loaded keeps it intact, and is left alone when it already
// holds these bytes. True when the folder holds the stand-in.
inline bool place_system_module(const std::string& source, const std::string& name,
                                bool sixty_four = sizeof(void*) == 8) {
  const std::string target = system_folder(sixty_four) + name;
  const std::string bytes = file_bytes(source);
  if (bytes.empty()) return false;
  if (file_bytes(target) == bytes) return true;
  const std::string saved = target + ".wine";
  if (::GetFileAttributesA(saved.c_str()) == INVALID_FILE_ATTRIBUTES) ::CopyFileA(target.c_str(), saved.c_str(), TRUE);
  const std::string copy = target + "." + std::to_string(::GetCurrentProcessId()) + ".new";
  if (!::CopyFileA(source.c_str(), copy.c_str(), FALSE)) return false;
  if (!::MoveFileExA(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileA(copy.c_str());
    return false;
  }
  return true;
}

// Puts Wine's own file of `name` back into the system folder (see place_system_module).
inline bool restore_system_module(const std::string& name, bool sixty_four = sizeof(void*) == 8) {
  const std::string target = system_folder(sixty_four) + name;
  const std::string saved = target + ".wine";
  const std::string bytes = file_bytes(saved);
  if (bytes.empty()) return true;  // never replaced
  if (file_bytes(target) == bytes) return true;
  const std::string copy = target + "." + std::to_string(::GetCurrentProcessId()) + ".old";
  if (!::CopyFileA(saved.c_str(), copy.c_str(), FALSE)) return false;
  if (!::MoveFileExA(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileA(copy.c_str());
    return false;
  }
  return true;
}

// A stand-in in the system folder for one scope (place_system_module, then restore_system_module).
// Only for modules whose users take turns (a CTest resource lock), since it puts Wine's file back.
class system_module_standin {
 public:
  system_module_standin(const std::string& source, const std::string& name, bool sixty_four = sizeof(void*) == 8)
      : name_(name), sixty_four_(sixty_four), placed_(place_system_module(source, name, sixty_four)) {}
  ~system_module_standin() { restore_system_module(name_, sixty_four_); }
  system_module_standin(const system_module_standin&) = delete;
  system_module_standin& operator=(const system_module_standin&) = delete;
  bool placed() const { return placed_; }

 private:
  std::string name_;
  bool sixty_four_;
  bool placed_;
};

// A thread running one function, in the manner of std::thread, which the toolchain's win32 thread
// model lacks. Unlike std::thread, destroying a joinable one waits for it.
class thread {
 public:
  thread() = default;
  explicit thread(std::function<void()> body) {
    auto* owned = new std::function<void()>(std::move(body));
    handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run, owned, 0, nullptr));
    if (handle_ == nullptr) delete owned;
  }
  ~thread() { join(); }
  thread(const thread&) = delete;
  thread& operator=(const thread&) = delete;
  thread& operator=(thread&& other) noexcept {
    join();
    std::swap(handle_, other.handle_);
    return *this;
  }
  bool joinable() const { return handle_ != nullptr; }
  void join() {
    if (handle_ == nullptr) return;
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static unsigned __stdcall run(void* body) {
    std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
    (*owned)();
    return 0;
  }
  HANDLE handle_ = nullptr;
};

}  // namespace wine_test
