// Test-program side of the wintrust/mssign32 stand-ins (see record.h for the environment they read).
//
//   standin_session session;                  // fresh record file, no failures, counters reset
//   session.fail("CryptCATPutAttrInfo#2");    // that call fails (several: comma-separated)
//   ... call the engine ...
//   auto calls = session.calls("CryptCATPutMemberInfo");
//   EXPECT_EQ(calls[0].at("data_oid"), "1.3.6.1.4.1.311.2.1.15");
//
// The program must run with WINEDLLOVERRIDES="wintrust,mssign32=n,b" and be built with
// velmor_use_crypt_standins() in CMake: before main it puts both stand-ins into the system folder,
// where the engine loads its modules from (Wine keeps its builtin modules for every program run
// without the override, so the stand-ins stay there). loaded() tells whether they are in use.
#pragma once

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace standin {

// Both stand-ins into the system folder of this bitness (see wine_test::place_system_module).
inline bool place_in_system_folder() {
  bool placed = true;
  for (const char* built : {VELMOR_WINTRUST_STANDIN_UNIX_PATH, VELMOR_MSSIGN32_STANDIN_UNIX_PATH}) {
    std::string path = std::string("Z:") + built;
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string name = path.substr(path.find_last_of('\\') + 1);
    placed = wine_test::place_system_module(path, name) && placed;
    // Earlier builds copied the stand-ins beside the program, where a copy would shadow the
    // system folder's for a bare name.
    ::DeleteFileA((wine_test::program_folder() + name).c_str());
  }
  return placed;
}

// Before main, so that no module of Wine's own is loaded first and kept for the process.
inline const bool placed_at_start = place_in_system_folder();

// The module the engine gets: by its full path in the system folder.
inline HMODULE system_module(const char* name) {
  return ::LoadLibraryA((wine_test::system_folder() + name).c_str());
}

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
    for (const char* dll : {"wintrust.dll", "mssign32.dll"}) {
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

  static bool loaded() {
    HMODULE w = system_module("wintrust.dll");
    HMODULE s = system_module("mssign32.dll");
    return placed_at_start && w != nullptr && s != nullptr && ::GetProcAddress(w, "velmor_standin_reset") != nullptr &&
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
