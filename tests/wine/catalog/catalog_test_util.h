// Small helpers of the catalog and signing tests: scratch folders, hashes, captured log.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

#include "engine_log_capture.h"
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

// The engine's log lines of one block of code, at every level.
struct captured_log {
  std::string lines;
  bool has(const std::string& line) const { return lines.find(line + "\n") != std::string::npos; }
  size_t count(const std::string& text) const {
    size_t n = 0;
    for (size_t at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1)) n++;
    return n;
  }
};

template <typename F>
captured_log capture_log(F&& body) {
  wine_test::engine_log_capture capture;
  body();
  return captured_log{capture.text()};
}

}  // namespace cat_test
