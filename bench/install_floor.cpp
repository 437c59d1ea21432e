// The floor of install_bench: what an installation of one interface needs at the least, done with
// plain calls and nothing around them. Per interface: the package's files written twice (a fresh
// folder in the Windows folder's Temp, then the user's folder), a bare program of the installer's
// bitness started and waited for, the device installer called for the interface's hardware ID, the
// fresh folder removed.
//   install_floor <bare program> <profile folder> <usart|bridge|winusb>...
// The INF comes from the user's folder, where a run of the app left it (install_bench runs the app
// first).
#include <windows.h>
#include <newdev.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "payload/payload_table.h"
#include "test_support.h"

namespace {

struct interface_row {
  const char* name;
  const char* folder;
  const char* inf;
  const wchar_t* hardware_id;
};
const interface_row kRows[] = {
    {"usart", "Usart_driver", "Korvex-USART.inf", L"USB\\VID_2E3C&PID_F000&MI_00"},
    {"bridge", "Bridge_driver", "Korvex-Bridge.inf", L"USB\\VID_2E3C&PID_F000&MI_04"},
    {"winusb", "WinUSB_driver", "Korvex-WinUSB.inf", L"USB\\VID_2E3C&PID_F000&MI_03"},
};

void write_file(const std::string& path, const void* data, DWORD size, DWORD creation) {
  HANDLE out = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, creation, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(out, data, size, &written, nullptr);
  ::CloseHandle(out);
}

void write_payload(const std::string& root, DWORD creation) {
  ::CreateDirectoryA(root.c_str(), nullptr);
  for (const payload_entry& e : payload_table) {
    if (e.subdir[0] == '\0') continue;  // templates stay inside the program
    std::string folder = root;
    if (std::strcmp(e.subdir, ".") != 0) {
      std::string sub = e.subdir;
      for (size_t at = 0; (at = sub.find('\\', at)) != std::string::npos; ++at) {
        ::CreateDirectoryA((root + "\\" + sub.substr(0, at)).c_str(), nullptr);
      }
      folder = root + "\\" + sub;
      ::CreateDirectoryA(folder.c_str(), nullptr);
    }
    write_file(folder + "\\" + e.file_name, e.data, e.size, creation);
  }
}

void run_and_wait(const std::string& program) {
  std::string line = "\"" + program + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &started)) {
    return;
  }
  ::WaitForSingleObject(started.hProcess, INFINITE);
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <bare program> <profile folder> <usart|bridge|winusb>...\n", argv[0]);
    return 2;
  }
  char system[MAX_PATH];
  ::GetSystemDirectoryA(system, MAX_PATH);
  HMODULE newdev = ::LoadLibraryA((std::string(system) + "\\newdev.dll").c_str());
  auto update = reinterpret_cast<decltype(&UpdateDriverForPlugAndPlayDevicesW)>(
      newdev != nullptr ? ::GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesW") : nullptr);
  if (update == nullptr) return 1;
  char windows[MAX_PATH];
  ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
  int failures = 0;
  for (int i = 3; i < argc; ++i) {
    for (const interface_row& row : kRows) {
      if (std::strcmp(argv[i], row.name) != 0) continue;
      // Process IDs come back soon: the tick count keeps a later run's folder apart from an earlier one.
      std::string fresh = std::string(windows) + "\\Temp\\bench-floor-" + std::to_string(::GetCurrentProcessId()) +
                          "-" + std::to_string(::GetTickCount()) + "-" + row.name;
      std::string user = std::string(argv[2]) + "\\" + row.folder;
      write_payload(fresh, CREATE_NEW);
      write_payload(user, CREATE_ALWAYS);
      std::string inf = wine_test::read_file(user + "\\" + row.inf);
      write_file(fresh + "\\" + row.inf, inf.data(), static_cast<DWORD>(inf.size()), CREATE_NEW);
      run_and_wait(argv[1]);
      std::wstring inf_path = wine_test::widen(fresh + "\\" + row.inf);
      if (!update(nullptr, row.hardware_id, inf_path.c_str(), INSTALLFLAG_FORCE, nullptr)) ++failures;
      wine_test::remove_tree(fresh);
    }
  }
  return failures;
}
