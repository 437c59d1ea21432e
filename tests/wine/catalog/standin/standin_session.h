// Test-program side of the wintrust/mssign32 stand-ins (see record.h for the environment they read).
//
//   standin_session session;                  // fresh record file, no failures, counters reset
//   session.fail("CryptCATPutAttrInfo#2");    // that call fails (several: comma-separated)
//   ... call the engine ...
//   auto calls = session.calls("CryptCATPutMemberInfo");
//   EXPECT_EQ(calls[0].at("data_oid"), "1.3.6.1.4.1.311.2.1.15");
//
// The program must run with WINEDLLOVERRIDES="wintrust,mssign32=n,b" and the two DLLs in the
// prefix's system folder (velmor_use_crypt_standins() in CMake); loaded() tells whether the
// stand-in is the one in use.
#pragma once

#include <windows.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace standin {

// One recorded call: "fn" is the function name, the other keys its arguments.
using call = std::map<std::string, std::string>;

class standin_session {
 public:
  standin_session() {
    char dir[MAX_PATH];
    ::GetTempPathA(MAX_PATH, dir);
    static unsigned serial = 0;
    path_ = std::string(dir) + "velmor_standin_" + std::to_string(::GetCurrentProcessId()) + "_" +
            std::to_string(++serial) + ".log";
    ::DeleteFileA(path_.c_str());
    ::SetEnvironmentVariableA("VELMOR_STANDIN_RECORD", path_.c_str());
    ::SetEnvironmentVariableA("VELMOR_STANDIN_FAIL", nullptr);
    ::SetEnvironmentVariableA("VELMOR_STANDIN_FAIL_ERROR", nullptr);
    for (const wchar_t* dll : {L"wintrust", L"mssign32"}) {
      HMODULE m = system_module(dll);
      auto reset = m != nullptr ? reinterpret_cast<void (*)()>(
                                      reinterpret_cast<void*>(::GetProcAddress(m, "velmor_standin_reset")))
                                : nullptr;
      if (reset != nullptr) reset();
    }
  }
  ~standin_session() {
    ::SetEnvironmentVariableA("VELMOR_STANDIN_RECORD", nullptr);
    ::SetEnvironmentVariableA("VELMOR_STANDIN_FAIL", nullptr);
    ::SetEnvironmentVariableA("VELMOR_STANDIN_FAIL_ERROR", nullptr);
    ::DeleteFileA(path_.c_str());
  }
  standin_session(const standin_session&) = delete;
  standin_session& operator=(const standin_session&) = delete;

  // The module the engine loads: the system folder's (Wine's own wintrust is loaded too, from its
  // library folder, under the same base name).
  static HMODULE system_module(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::wstring full = std::wstring(path) + L"\\" + name + L".dll";
    return ::LoadLibraryExW(full.c_str(), nullptr, 0);
  }

  static bool loaded() {
    HMODULE w = system_module(L"wintrust");
    HMODULE s = system_module(L"mssign32");
    return w != nullptr && s != nullptr && ::GetProcAddress(w, "velmor_standin_reset") != nullptr &&
           ::GetProcAddress(s, "velmor_standin_reset") != nullptr;
  }

  void fail(const std::string& functions, DWORD error = ERROR_ACCESS_DENIED) {
    ::SetEnvironmentVariableA("VELMOR_STANDIN_FAIL", functions.c_str());
    ::SetEnvironmentVariableA("VELMOR_STANDIN_FAIL_ERROR", std::to_string(error).c_str());
  }

  // Every recorded call in order, or only those of one function.
  std::vector<call> calls(const std::string& function = "") const {
    std::vector<call> out;
    std::ifstream in(path_);
    std::string text;
    while (std::getline(in, text)) {
      std::istringstream fields(text);
      std::string field;
      call c;
      std::getline(fields, field, '\t');
      c["fn"] = field;
      while (std::getline(fields, field, '\t')) {
        size_t eq = field.find('=');
        c[field.substr(0, eq)] = eq == std::string::npos ? "" : field.substr(eq + 1);
      }
      if (function.empty() || c["fn"] == function) out.push_back(c);
    }
    return out;
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace standin
