// Small helpers of the catalog and signing tests: scratch folders, files, hashes, captured log.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

namespace cat_test {

// A fresh folder under %TEMP%, removed with everything in it at the end.
class scratch_folder {
 public:
  explicit scratch_folder(const char* tag) {
    char dir[MAX_PATH];
    ::GetTempPathA(MAX_PATH, dir);
    static unsigned serial = 0;
    path_ = std::string(dir) + "velmor_" + tag + "_" + std::to_string(::GetCurrentProcessId()) + "_" +
            std::to_string(++serial);
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~scratch_folder() { remove_tree(L"\\\\?\\" + widen(path_)); }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

  // Writes a file (creating its folders), relative to this folder.
  void write(const std::string& relative, const std::string& content) const {
    std::string full = *this / relative;
    for (size_t slash = full.find('\\', path_.size() + 1); slash != std::string::npos;
         slash = full.find('\\', slash + 1))
      ::CreateDirectoryA(full.substr(0, slash).c_str(), nullptr);
    HANDLE f = ::CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << full;
    DWORD written = 0;
    ::WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(f);
  }

  static std::wstring widen(const std::string& s) {
    std::wstring w(s.size(), L'\0');
    for (size_t i = 0; i < s.size(); i++) w[i] = static_cast<unsigned char>(s[i]);
    return w;
  }

 private:
  static void remove_tree(const std::wstring& dir) {
    WIN32_FIND_DATAW e;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &e);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = e.cFileName;
        if (name == L"." || name == L"..") continue;
        if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          remove_tree(dir + L"\\" + name);
        else
          ::DeleteFileW((dir + L"\\" + name).c_str());
      } while (::FindNextFileW(h, &e));
      ::FindClose(h);
    }
    ::RemoveDirectoryW(dir.c_str());
  }
  std::string path_;
};

// Upper-case hex of the SHA-1 of a text.
inline std::string sha1_hex(const std::string& content) {
  HCRYPTPROV prov = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[20] = {};
  DWORD size = sizeof(digest);
  if (::CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    if (::CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash)) {
      ::CryptHashData(hash, reinterpret_cast<const BYTE*>(content.data()), static_cast<DWORD>(content.size()), 0);
      ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
      ::CryptDestroyHash(hash);
    }
    ::CryptReleaseContext(prov, 0);
  }
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (BYTE b : digest) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The engine's log lines of one block of code: info lines (stdout) and the rest (stderr).
struct captured_log {
  std::string out, err;
  bool has(const std::string& line) const {
    return out.find(line + "\n") != std::string::npos || err.find(line + "\n") != std::string::npos;
  }
  size_t count(const std::string& text) const {
    size_t n = 0;
    for (const std::string* s : {&out, &err})
      for (size_t at = s->find(text); at != std::string::npos; at = s->find(text, at + 1)) n++;
    return n;
  }
};

template <typename F>
captured_log capture_log(F&& body) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  body();
  captured_log log;
  log.out = testing::internal::GetCapturedStdout();
  log.err = testing::internal::GetCapturedStderr();
  return log;
}

}  // namespace cat_test
