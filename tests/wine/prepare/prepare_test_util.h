// Helpers of the package preparation tests: scratch folders, file bytes, captured log lines and
// device records.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/enumeration/device_list.h"
#include "engine/package/prepare.h"
#include "wine_test_util.h"

namespace prepare_test {

inline std::string temp_root() {
  char dir[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, dir);
  std::string d(dir);
  if (!d.empty() && d.back() == '\\') d.pop_back();
  return d;
}

using wine_test::remove_tree;

// A folder name unique to this process and call, removed with everything in it at scope end.
class scratch_dir {
 public:
  scratch_dir() {
    static int serial = 0;
    path_ = temp_root() + "\\velmor_prepare_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++serial);
  }
  ~scratch_dir() { remove_tree(path_); }
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

inline bool exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string read_bytes(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}

// The text of UTF-16LE bytes (byte-order marks included), as UTF-8.
inline std::string utf16_bytes_to_utf8(const std::string& bytes) {
  std::wstring w(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < w.size(); ++i) {
    w[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

inline std::string utf8_to_utf16_bytes(const std::string& text) {
  int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
  std::string bytes;
  for (wchar_t c : w) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

inline void replace_all(std::string& s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) s.replace(p, from.size(), to);
}

// Standard output and error of the engine's log during one scope.
class log_capture {
 public:
  log_capture() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
  }
  ~log_capture() { finish(); }
  // Everything logged (standard output, then standard error); ends the capture.
  const std::string& text() {
    finish();
    return text_;
  }
  bool has(const std::string& line) { return text().find(line) != std::string::npos; }

 private:
  void finish() {
    if (done_) return;
    done_ = true;
    text_ = testing::internal::GetCapturedStdout();
    text_ += testing::internal::GetCapturedStderr();
  }
  bool done_ = false;
  std::string text_;
};

// An interface of the Korvex probe as the enumeration lists it.
struct device {
  wdi_device_entry entry = {};
  std::string description;
  device(uint16_t vid, uint16_t pid, int interface_number, const char* desc) : description(desc) {
    entry.vendor_id = vid;
    entry.product_id = pid;
    entry.is_interface = interface_number >= 0;
    entry.interface_number = static_cast<uint8_t>(interface_number < 0 ? 0 : interface_number);
    entry.description = &description[0];
  }
  const wdi_device_entry* get() const { return &entry; }
};

inline wdi_prepare_options options_for(int kind) {
  wdi_prepare_options o = {};
  o.driver_kind = kind;
  return o;
}

// The catalog is left out unless a test is about it.
inline wdi_prepare_options without_catalog(int kind) {
  wdi_prepare_options o = options_for(kind);
  o.skip_catalog = 1;
  return o;
}

inline bool vista_or_later() { return wine_test::version_under_test() != "winxp"; }

}  // namespace prepare_test
