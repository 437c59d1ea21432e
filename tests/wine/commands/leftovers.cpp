#include "leftovers.h"

#include <tlhelp32.h>
#include <wincrypt.h>

#include <set>

#include "test_support.h"

namespace cmd {

std::vector<std::string> protected_folders() {
  char windows[MAX_PATH] = {};
  ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
  std::set<std::string> found;
  for (const std::string& file : wine_test::list_files(std::string(windows) + "\\Temp")) {
    const std::string folder = file.substr(0, file.find('\\'));
    // The tool's own names only: benchmarks leave folders of their own here.
    if (folder.rfind("Velmor-", 0) == 0 && folder.size() > 7 &&
        folder.find_first_not_of("0123456789abcdefABCDEF", 7) == std::string::npos) {
      found.insert(folder);
    }
  }
  return std::vector<std::string>(found.begin(), found.end());
}

std::vector<std::string> tool_key_containers() {
  std::vector<std::string> found;
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET))
    return {"(cannot enumerate)"};
  char name[256];
  DWORD flags = CRYPT_FIRST;
  for (;;) {
    DWORD size = sizeof(name);
    if (!::CryptGetProvParam(provider, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, flags)) break;
    flags = 0;
    if (std::string(name).rfind("Velmor key ", 0) == 0) found.push_back(name);
  }
  ::CryptReleaseContext(provider, 0);
  return found;
}

std::vector<DWORD> installers_running() {
  std::vector<DWORD> found;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
    std::string exe = entry.szExeFile;
    if (exe.find("installer_x64.exe") != std::string::npos || exe.find("installer_x86.exe") != std::string::npos)
      found.push_back(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return found;
}

std::vector<std::string> journal_records(const char* section) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  const std::string path = std::string("SOFTWARE\\Velmor\\Driver installer journal\\") + section;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof(name);
    if (::RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  ::RegCloseKey(key);
  return names;
}

void end_installers() {
  for (DWORD pid : installers_running()) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (process != nullptr) ::TerminateProcess(process, 1), ::CloseHandle(process);
  }
}

std::string joined(const std::vector<std::string>& items) {
  std::string all;
  for (const std::string& item : items) all += item + " ";
  return all;
}

}  // namespace cmd
