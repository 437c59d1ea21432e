// String resources of the current module.
#include <windows.h>

#include "framework/CString.h"

bool CString::LoadString(unsigned id) {
  // The resource table holds UTF-16; an 8-bit string gets the ANSI code page form.
  const wchar_t* text = nullptr;
  int len = ::LoadStringW(::GetModuleHandleA(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (len <= 0 || text == nullptr) {
    Empty();
    return false;
  }
  int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, len, nullptr, 0, nullptr, nullptr);
  char* buf = GetBuffer(bytes);
  ::WideCharToMultiByte(CP_ACP, 0, text, len, buf, bytes, nullptr, nullptr);
  ReleaseBuffer(bytes);
  return bytes > 0;
}
