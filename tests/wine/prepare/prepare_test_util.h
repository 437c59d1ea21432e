// Helpers of the package preparation tests: scratch folders, file bytes, captured log lines and
// device records.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine_log_capture.h"
#include "engine/enumeration/device_list.h"
#include "engine/package/prepare.h"
#include "test_support.h"

namespace prepare_test {

using wine_test::exists;
using wine_test::read_file;
using wine_test::utf16_bytes_to_utf8;
using wine_test::utf8_to_utf16_bytes;

// A folder of its own under the temporary folder, left for the preparation to create, removed with
// everything in it at scope end.
class scratch_dir : public wine_test::temp_folder {
 public:
  scratch_dir() : temp_folder("prepare", not_created) {}
  std::string file(const std::string& name) const { return *this / name; }
};

inline void replace_all(std::string& s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) s.replace(p, from.size(), to);
}

// The engine's log lines of one scope, from the info level up (what its streams show).
struct log_capture : wine_test::engine_log_capture {
  log_capture() : engine_log_capture(LOG_INFO) {}
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
