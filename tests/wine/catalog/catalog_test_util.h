// Small helpers of the catalog and signing tests: scratch folders, hashes, captured log.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace cat_test {

// A folder of its own under the temporary folder; a file that cannot be written fails the test.
class scratch_folder : public wine_test::temp_folder {
 public:
  using temp_folder::temp_folder;
  void write(const std::string& relative, const std::string& content) const {
    ASSERT_TRUE(temp_folder::write(relative, content)) << (*this / relative) << ": " << wine_test::last_error();
  }
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
