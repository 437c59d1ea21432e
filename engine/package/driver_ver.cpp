// template_driver_version: the DriverVer of an INF template, read the way the device installer
// reads it (section names and keys without regard to case, blanks around values dropped).
#include "engine/package/driver_ver.h"

#include <string>

namespace {

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// "a.b.c.d" with one to four parts of at most 65535 each; 0 for anything else.
uint64_t packed(const std::string& text) {
  uint64_t version = 0;
  int parts = 0;
  size_t at = 0;
  while (at <= text.size()) {
    size_t dot = text.find('.', at);
    std::string part = text.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos) return 0;
    unsigned long value = std::stoul(part);
    if (value > 0xFFFF || ++parts > 4) return 0;
    version = (version << 16) | value;
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  // Missing parts are zeros at the end: "1.2" is 1.2.0.0.
  for (; parts < 4; ++parts) version <<= 16;
  return version;
}

}  // namespace

extern "C" uint64_t template_driver_version(const char* text, size_t size, uint64_t token_version) {
  if (text == nullptr) return 0;
  std::string all(text, size);
  bool in_version = false;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(start, end - start);
    start = end + 1;
    size_t comment = line.find(';');
    if (comment != std::string::npos) line.resize(comment);
    line = trimmed(line);
    if (!line.empty() && line[0] == '[') {
      in_version = lower(line) == "[version]";
      continue;
    }
    size_t equals = line.find('=');
    if (!in_version || equals == std::string::npos || lower(trimmed(line.substr(0, equals))) != "driverver") continue;
    std::string value = line.substr(equals + 1);
    size_t comma = value.find(',');
    if (comma == std::string::npos) return 0;
    std::string version = trimmed(value.substr(comma + 1));
    if (version == "#DRIVER_VERSION#") return token_version;
    return packed(version);
  }
  return 0;
}
