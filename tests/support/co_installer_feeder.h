// Wine's device installer looks for the WinUSB package's co-installers in the package root only
// (docs/WINE.md). The engine installs from its preparation's own folder in the Windows folder's
// Temp: while a command runs, the co-installers (from a Unix folder) are put into the root of each
// new such folder that holds the WinUSB INF and lacks them, and taken out again at the end.
#pragma once

#include <windows.h>

#include <atomic>
#include <set>
#include <string>

#include "test_support.h"
#include "win/handles.h"

namespace wine_test {

class co_installer_feeder {
 public:
  explicit co_installer_feeder(const std::string& unix_source_dir)
      : source_(unix_source_dir), worker_([this] { run(); }) {}
  ~co_installer_feeder() {
    stop_ = true;
    worker_.join();
    for (const std::string& folder : fed_) {
      for (const char* name : kNames) ::DeleteFileA((folder + "\\" + name).c_str());
      ::RemoveDirectoryA(folder.c_str());
    }
  }

 private:
  static constexpr const char* kNames[] = {"WdfCoInstaller01011.dll", "winusbcoinstaller2.dll"};
  // The longest a new package folder waits for its co-installers (without change notifications:
  // between two scans).
  static constexpr DWORD kRescanMs = 20;
  void run() {
    char windows[MAX_PATH];
    ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    std::string temp = std::string(windows) + "\\Temp\\";
    bool first_scan = true;
    // Woken by a change below Temp rather than polling it: a poll every few milliseconds competed
    // with the measured programs for the Wine server. The bounded wait still finds a folder whose
    // change went unreported.
    velmor::unique_change_notification change(::FindFirstChangeNotificationA(
        temp.c_str(), TRUE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME));
    while (!stop_) {
      WIN32_FIND_DATAA found;
      velmor::unique_find search(::FindFirstFileA((temp + "Velmor-*").c_str(), &found));
      if (search) {
        do {
          std::string folder = temp + found.cFileName;
          if (first_scan) earlier_.insert(folder);
          // A folder is fed whenever it lacks them: a later one may take an earlier one's name.
          if (earlier_.count(folder) || !wine_test::is_file(folder + "\\Korvex-WinUSB.inf") ||
              wine_test::is_file(folder + "\\" + kNames[0]))
            continue;
          for (const char* name : kNames) {
            std::string source = wine_test::windows_path(source_ + "/" + name);
            ::CopyFileA(source.c_str(), (folder + "\\" + name).c_str(), FALSE);
          }
          fed_.insert(folder);
        } while (::FindNextFileA(search.get(), &found));
      }
      first_scan = false;
      if (!change) {
        ::Sleep(kRescanMs);
      } else if (::WaitForSingleObject(change.get(), kRescanMs) == WAIT_OBJECT_0) {
        ::FindNextChangeNotification(change.get());
      }
    }
  }
  const std::string source_;
  std::atomic<bool> stop_{false};
  std::set<std::string> earlier_;
  std::set<std::string> fed_;
  wine_test::thread worker_;
};

}  // namespace wine_test
