#include "record.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace standin {
namespace {
std::map<std::string, unsigned> call_counts;

std::string env(const char* name) {
  char value[1024];
  DWORD n = ::GetEnvironmentVariableA(name, value, sizeof(value));
  return n > 0 && n < sizeof(value) ? std::string(value, n) : std::string();
}
}  // namespace

std::string utf8(const wchar_t* text) {
  if (text == nullptr) return "(null)";
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "";
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

std::string hex(const void* data, size_t size) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  const BYTE* p = static_cast<const BYTE*>(data);
  for (size_t i = 0; p != nullptr && i < size; i++) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

line& line::text(const char* key, const std::string& value) {
  text_ += '\t';
  text_ += key;
  text_ += '=';
  text_ += value;
  return *this;
}
line& line::wtext(const char* key, const wchar_t* value) { return text(key, utf8(value)); }
line& line::number(const char* key, unsigned long value) { return text(key, std::to_string(value)); }
line& line::hex32(const char* key, unsigned long value) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%08lX", value);
  return text(key, buf);
}
line& line::bytes(const char* key, const void* data, size_t size) { return text(key, hex(data, size)); }
line& line::guid(const char* key, const GUID& g) {
  char buf[48];
  std::snprintf(buf, sizeof(buf), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text(key, buf);
}

line::~line() {
  DWORD error = ::GetLastError();
  std::string path = env("VELMOR_STANDIN_RECORD");
  if (!path.empty()) {
    HANDLE f = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      text_ += '\n';
      DWORD written = 0;
      ::WriteFile(f, text_.data(), static_cast<DWORD>(text_.size()), &written, nullptr);
      ::CloseHandle(f);
    }
  }
  ::SetLastError(error);
}

DWORD fail_error() {
  std::string e = env("VELMOR_STANDIN_FAIL_ERROR");
  return e.empty() ? ERROR_ACCESS_DENIED : static_cast<DWORD>(std::strtoul(e.c_str(), nullptr, 10));
}

bool should_fail(const char* function) {
  unsigned call = ++call_counts[function];
  std::string list = "," + env("VELMOR_STANDIN_FAIL") + ",";
  std::string name = function;
  bool fail = list.find("," + name + ",") != std::string::npos ||
              list.find("," + name + "#" + std::to_string(call) + ",") != std::string::npos;
  if (fail) ::SetLastError(fail_error());
  return fail;
}

void reset_counters() { call_counts.clear(); }

}  // namespace standin

extern "C" __declspec(dllexport) void velmor_standin_reset(void) { standin::reset_counters(); }
