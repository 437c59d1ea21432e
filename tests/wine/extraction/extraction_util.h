// Scratch folders and file helpers for the extraction tests. Every folder is unique per process
// and run, because the 32-bit and 64-bit runs share one prefix.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/common/wine_test_util.h"
#include "win/handles.h"

namespace extraction_test {

inline std::wstring widen(const std::string& text) {
  int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
  return out;
}

inline std::string narrow(const std::wstring& text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

inline bool exists(const std::string& path) { return ::GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool is_directory(const std::string& path) {
  DWORD a = ::GetFileAttributesW(widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline std::string read_file(const std::string& path) {
  velmor::unique_file f(::CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!f) return std::string("<missing>");
  std::string data(::GetFileSize(f.get(), nullptr), '\0');
  DWORD got = 0;
  if (!data.empty()) ::ReadFile(f.get(), &data[0], static_cast<DWORD>(data.size()), &got, nullptr);
  data.resize(got);
  return data;
}

inline void write_file(const std::string& path, const std::string& data) {
  velmor::unique_file f(::CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(static_cast<bool>(f)) << path;
  DWORD put = 0;
  ::WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
}

// Every file below root, as paths relative to it ("x86\\libusb0.sys").
inline void list_files(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
  WIN32_FIND_DATAW found;
  std::string pattern = root + (relative.empty() ? "" : "\\" + relative) + "\\*";
  HANDLE h = ::FindFirstFileW(widen(pattern).c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = narrow(found.cFileName);
    if (name == "." || name == "..") continue;
    std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      list_files(root, rel, out);
    } else {
      out.push_back(rel);
    }
  } while (::FindNextFileW(h, &found));
  ::FindClose(h);
}

using wine_test::remove_tree;

// A fresh folder under the system temp folder, removed with the fixture.
class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    root_ = narrow(temp) + "velmor_extract_" + std::to_string(::GetCurrentProcessId()) + "_" +
            std::to_string(::GetTickCount()) + "_" + std::to_string(++counter);
    ASSERT_TRUE(::CreateDirectoryW(widen(root_).c_str(), nullptr)) << root_;
  }
  void TearDown() override { remove_tree(root_); }
  std::string root_;
};

// The owner of a file or folder, compared with the current user's SID.
inline bool owned_by(const std::string& path, PSID expected) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring w = widen(path);
  DWORD rc = ::GetNamedSecurityInfoW(w.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                     nullptr, nullptr, &descriptor);
  velmor::unique_hlocal guard(descriptor);
  return rc == ERROR_SUCCESS && owner != nullptr && ::EqualSid(owner, expected);
}

}  // namespace extraction_test
