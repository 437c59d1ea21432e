#include "machine_changes.h"

#include <tlhelp32.h>
#include <wincrypt.h>

#include <algorithm>

namespace wine_test {

std::vector<std::string> protected_folders() {
  std::vector<std::string> found;
  char windows[MAX_PATH] = {};
  if (::GetSystemWindowsDirectoryA(windows, MAX_PATH) == 0) return {"(no Windows folder)"};
  WIN32_FIND_DATAA entry = {};
  HANDLE search = ::FindFirstFileA((std::string(windows) + "\\Temp\\Velmor-*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name.size() > 7 &&
        name.find_first_not_of("0123456789abcdefABCDEF", 7) == std::string::npos) {
      found.push_back(name);
    }
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  std::sort(found.begin(), found.end());
  return found;
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

void end_installers() {
  for (DWORD pid : installers_running()) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (process != nullptr) ::TerminateProcess(process, 1), ::CloseHandle(process);
  }
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

std::string joined(const std::vector<std::string>& items) {
  std::string all;
  for (const std::string& item : items) all += item + " ";
  return all;
}

}  // namespace wine_test
