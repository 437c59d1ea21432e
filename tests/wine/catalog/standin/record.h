// Recording for the test stand-ins of wintrust and mssign32 (test-only, never shipped).
//
// Environment, read at every call:
//   VELMOR_STANDIN_RECORD      Windows path of the record; every call appends one line
//                              "<Function>\t<key>=<value>\t...\n" (UTF-8, binary values as upper-case
//                              hex). Unset: nothing is recorded.
//   VELMOR_STANDIN_FAIL        comma-separated functions that fail, e.g. "CryptCATPersistStore" (every
//                              call) or "CryptCATPutAttrInfo#3" (its third call since the last reset).
//   VELMOR_STANDIN_FAIL_ERROR  last-error value a failing call sets (decimal; default 5, access
//                              denied). SignerSignEx then returns HRESULT_FROM_WIN32 of it.
// Each stand-in DLL exports "velmor_standin_reset" (void(void)), which zeroes its call counters.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// One record line under construction.
class line {
 public:
  explicit line(const char* function) : text_(function) {}
  line& text(const char* key, const std::string& value);
  line& wtext(const char* key, const wchar_t* value);  // "(null)" for null
  line& number(const char* key, unsigned long value);  // decimal
  line& hex32(const char* key, unsigned long value);   // 8 upper-case hex digits
  line& bytes(const char* key, const void* data, size_t size);
  line& guid(const char* key, const GUID& value);
  ~line();  // appends the line to the record

 private:
  std::string text_;
};

std::string utf8(const wchar_t* text);
std::string hex(const void* data, size_t size);

// True when this call of the function is asked to fail; sets the last error then.
bool should_fail(const char* function);
DWORD fail_error();
void reset_counters();

}  // namespace standin
