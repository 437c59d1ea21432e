// System modules come from the system folder, whatever lies beside the program. The suite plants
// DLLs named like them beside this program and lets Wine prefer such files (WINEDLLOVERRIDES).
#include <gtest/gtest.h>

#include <string>

#include "engine/common/system.h"
#include "win/random.h"

namespace {

// Deliberately not from the test support library: its window helpers import user32, and Wine's
// user32 imports version.dll, which would then be one of the planted modules at start-up.
std::string program_folder() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.find_last_of("\\/") + 1);
}

std::wstring module_path(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

bool planted_module_loaded() { return ::GetEnvironmentVariableW(L"VELMOR_PLANTED_MODULE_LOADED", nullptr, 0) != 0; }

}  // namespace

TEST(SystemModules, PlantedModulesBesideTheProgramAreNotLoaded) {
  wchar_t system_dir[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(system_dir, MAX_PATH), 0u);
  // Named as the engine names them: with and without extension, in any case.
  for (const char* name : {"version.dll", "wintrust", "mssign32", "crypt32", "Cfgmgr32.dll"}) {
    std::string file = std::string(name).find('.') == std::string::npos ? std::string(name) + ".dll" : name;
    ASSERT_NE(::GetFileAttributesA((program_folder() + file).c_str()), INVALID_FILE_ATTRIBUTES) << file;
    HMODULE module = load_system_module(name);
    ASSERT_NE(module, nullptr) << name;
    std::wstring path = module_path(module);
    EXPECT_EQ(_wcsnicmp(path.c_str(), system_dir, wcslen(system_dir)), 0) << name;
  }
  EXPECT_FALSE(planted_module_loaded());
}

TEST(SystemModules, OnlyBareNamesAreLoaded) {
  std::string beside = program_folder() + "version.dll";
  for (const char* name : {beside.c_str(), ".\\version.dll", "..\\version.dll", "C:version.dll", ""}) {
    EXPECT_EQ(load_system_module(name), nullptr) << name;
  }
  EXPECT_EQ(load_system_module(nullptr), nullptr);
  EXPECT_FALSE(planted_module_loaded());
}

// Later advapi32 forwards its generator to cryptbase and its CryptoAPI to cryptsp: the names are
// drawn before the search is restricted, so those modules must come from the system folder too.
TEST(SystemModules, RandomBytesLoadNothingBesideTheProgram) {
  BYTE first[16] = {}, second[16] = {};
  ASSERT_TRUE(velmor::random_bytes(first, sizeof(first)));
  ASSERT_TRUE(velmor::random_bytes(second, sizeof(second)));
  EXPECT_NE(memcmp(first, second, sizeof(first)), 0);
  for (const char* name : {"cryptbase.dll", "cryptsp.dll"}) {
    ASSERT_NE(::GetFileAttributesA((program_folder() + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    EXPECT_EQ(::GetModuleHandleA((program_folder() + name).c_str()), nullptr) << name;
  }
  EXPECT_FALSE(planted_module_loaded());
}

// Last: it changes how this process looks modules up by bare name.
TEST(SystemModules, RestrictedSearchPathSkipsTheProgramsFolder) {
  ASSERT_NE(::GetFileAttributesA((program_folder() + "msimg32.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  restrict_dll_search_path();
  HMODULE module = ::LoadLibraryA("msimg32.dll");
  ASSERT_NE(module, nullptr);
  wchar_t system_dir[MAX_PATH] = {};
  ::GetSystemDirectoryW(system_dir, MAX_PATH);
  EXPECT_EQ(_wcsnicmp(module_path(module).c_str(), system_dir, wcslen(system_dir)), 0);
  EXPECT_FALSE(planted_module_loaded());
}
