// What the Windows test programs share: files and folders, text conversions, the error of a failed
// call, waiting for an event (a window, a file, any condition) with a bound instead of sleeping,
// and colour classes of captured pixels. Paths are UTF-8. The dialog's control IDs come from
// app/resource.h itself.
#pragma once

#include <windows.h>

#include <process.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace wine_test {

// --- Text ---------------------------------------------------------------------------------------

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& text);
// UTF-16LE bytes (a byte-order mark stays) as UTF-8, and back.
std::string utf16_bytes_to_utf8(const std::string& bytes);
std::string utf8_to_utf16_bytes(const std::string& text);

// --- Errors -------------------------------------------------------------------------------------

// "GetLastError() = <code> (<system text>)" of the calling thread's last error, for the message of
// an assertion on a Windows call: ASSERT_TRUE(::CreateDirectoryW(...)) << wine_test::last_error();
std::string last_error();

// --- Files and folders --------------------------------------------------------------------------

bool exists(const std::string& path);
bool is_directory(const std::string& path);
bool is_file(const std::string& path);
// The whole file; empty when it cannot be read. Files other processes hold open can be read.
std::string read_file(const std::string& path);
// Creates or replaces the file, and any missing folder above it. False (last error set) on failure.
bool write_file(const std::string& path, const std::string& content);
// Deletes a file, or a folder with everything in it (read-only files and paths longer than
// MAX_PATH too). The path may end in a backslash.
void remove_tree(const std::string& path);
// Every file below a folder, as paths relative to it ("x86\\libusb0.sys").
std::vector<std::string> list_files(const std::string& folder);
// The system's temporary folder, without a trailing backslash.
std::string temp_root();
// A file of the build trees named by its Unix path, as Wine's drive Z: shows it.
std::string windows_path(const std::string& unix_path);

// A folder of its own under the temporary folder ("velmor_<tag>_<process>_<serial>": the 32-bit
// and 64-bit runs share one prefix), removed with everything in it at the end. Created unless the
// test wants the code under test to create it.
class temp_folder {
 public:
  enum creation { created, not_created };
  explicit temp_folder(const std::string& tag, creation how = created);
  ~temp_folder();
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  const std::string& path() const { return path_; }  // no trailing backslash
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }
  // Writes a file relative to the folder, creating the folders on its way.
  bool write(const std::string& relative, const std::string& content) const;

 private:
  std::string path_;
};

// --- Registry ------------------------------------------------------------------------------------

bool registry_key_exists(HKEY root, const std::string& key);
// A REG_SZ value; empty when the key or value is missing or of another type.
std::string registry_string(HKEY root, const std::string& key, const char* value);

// --- This program and other processes -----------------------------------------------------------

// The Windows version the bench asked Wine to report to this program ("default" when none): the
// bench runs a copy named "<program>.<version>.exe".
std::string version_under_test();
// Folder of this test program, with a trailing backslash.
std::string program_folder();
// Runs a command line, waits for it and returns its exit code (-1 when it cannot start).
long run_and_wait(const std::string& command_line, DWORD timeout_ms = 60000);
bool process_alive(DWORD pid);

// --- Waiting ------------------------------------------------------------------------------------
// Bounds are generous: they only decide when a test that is going to fail gives up.

// Polls every 10 ms until the predicate holds (true) or the time is up (false).
bool wait_until(const std::function<bool()>& predicate, DWORD timeout_ms);
bool wait_for_file(const std::string& path, DWORD timeout_ms = 20000);

std::wstring window_text(HWND window);  // through a bounded WM_GETTEXT, so it works across processes
std::wstring class_name(HWND window);
// A visible top-level window with exactly that caption (pid 0: of any process).
HWND find_window(const wchar_t* caption, DWORD pid = 0);
HWND wait_window(const wchar_t* caption, DWORD pid = 0, DWORD timeout_ms = 10000);
// A top-level window of a class (any caption, any process, visible or not).
HWND wait_window_of_class(const wchar_t* class_name, DWORD timeout_ms = 10000);
// Visible dialog-class (#32770) top-level windows of a process other than `exclude`.
std::vector<HWND> find_dialogs(DWORD pid, HWND exclude);
// The first such window, e.g. a message box: null when none appears in time.
HWND wait_message_box(DWORD pid, HWND exclude, DWORD timeout_ms = 10000);

// --- Colours of captured pixels -----------------------------------------------------------------

inline bool reddish(int r, int g, int b) { return r > 150 && g < 110 && b < 110; }
inline bool greenish(int r, int g, int b) { return g > 120 && r < 90 && b < 90; }
inline bool bluish(int r, int g, int b) { return b > 150 && r < 110 && g < 110; }
inline bool dark(int r, int g, int b) { return r < 90 && g < 90 && b < 90; }

// ---- starting programs ----

// Runs `start` (a CreateProcess call) up to three times, 500 ms apart, until it succeeds. Under
// Wine, starting a program has failed, rarely, in a prefix made seconds before; tests that are not
// about the start itself should not fail on that. The last error is the last attempt's.
inline bool start_with_retries(const std::function<bool()>& start) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) ::Sleep(500);
    if (start()) return true;
  }
  return false;
}

// ---- system-folder stand-ins and threads ----

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

// Test-only modules reach the programs under test the way the programs load system modules: from
// the system folder, never from beside the program. Puts `source` there as `name` (say
// "newdev.dll"); Wine takes it only in programs run with a native override for that name
// (WINEDLLOVERRIDES=newdev=n,b), all others keep Wine's builtin module. Wine's own file is kept as
// "<name>.wine" for restore_system_module. The file is replaced by renaming a full copy over it,
// so a process that has the old one loaded keeps it intact, and is left alone when it already
// holds these bytes. True when the folder holds the stand-in.
//
// Test programs run in parallel and place the same stand-ins at the same moment. Wine refuses to
// rename over a file that any process has open, even for a moment to compare its bytes, so a
// refused rename is tried again until the folder holds the wanted bytes (placed by anyone).
inline bool replace_system_file(const std::string& bytes, const std::string& source, const std::string& target,
                                const char* suffix) {
  const std::string copy = target + "." + std::to_string(::GetCurrentProcessId()) + suffix;
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (read_file(target) == bytes) return true;
    if (::CopyFileA(source.c_str(), copy.c_str(), FALSE) &&
        ::MoveFileExA(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return true;
    }
    ::DeleteFileA(copy.c_str());
    ::Sleep(25);
  }
  return read_file(target) == bytes;
}

inline bool place_system_module(const std::string& source, const std::string& name,
                                bool sixty_four = sizeof(void*) == 8) {
  const std::string target = system_folder(sixty_four) + name;
  const std::string bytes = read_file(source);
  if (bytes.empty()) return false;
  if (read_file(target) == bytes) return true;
  const std::string saved = target + ".wine";
  if (::GetFileAttributesA(saved.c_str()) == INVALID_FILE_ATTRIBUTES) ::CopyFileA(target.c_str(), saved.c_str(), TRUE);
  return replace_system_file(bytes, source, target, ".new");
}

// Puts Wine's own file of `name` back into the system folder (see place_system_module).
inline bool restore_system_module(const std::string& name, bool sixty_four = sizeof(void*) == 8) {
  const std::string target = system_folder(sixty_four) + name;
  const std::string saved = target + ".wine";
  const std::string bytes = read_file(saved);
  if (bytes.empty()) return true;  // never replaced
  return replace_system_file(bytes, saved, target, ".old");
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
