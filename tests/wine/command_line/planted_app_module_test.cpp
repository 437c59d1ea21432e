// The app takes comctl32 and setupapi from the system folder: copies of them planted beside it are
// not loaded, also with Wine told to prefer such files to its own (WINEDLLOVERRIDES, as Windows
// prefers the program's folder for modules that are not known DLLs).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "test_support.h"

TEST(AppModules, ModulesPlantedBesideTheAppAreNotLoaded) {
  wine_test::temp_folder folder("planted-app");
  const std::string app = folder / "Velmor_VirtualCOM_DriverInstall.exe";
  ASSERT_TRUE(::CopyFileA(wine_test::windows_path(APP_UNIX_PATH).c_str(), app.c_str(), FALSE));
  const std::string planted = wine_test::windows_path(PLANTED_APP_MODULE_DIR);
  for (const char* name : {"comctl32.dll", "setupapi.dll"}) {
    ASSERT_TRUE(::CopyFileA((planted + "\\" + name).c_str(), (folder / name).c_str(), FALSE)) << name;
  }
  // The mark works: the planted file, loaded by its path, leaves it.
  HMODULE control = ::LoadLibraryA((folder / "setupapi.dll").c_str());
  ASSERT_NE(control, nullptr);
  ::FreeLibrary(control);
  ASSERT_TRUE(wine_test::is_file(folder / "setupapi.dll.loaded"));
  ::DeleteFileA((folder / "setupapi.dll.loaded").c_str());

  // /list starts the framework (comctl32) and enumerates (setupapi); 3 when another copy enumerates.
  long exit_code = wine_test::run_and_wait("\"" + app + "\" /list", 60000);
  EXPECT_TRUE(exit_code == 0 || exit_code == 3) << exit_code;
  EXPECT_FALSE(wine_test::is_file(folder / "comctl32.dll.loaded"));
  EXPECT_FALSE(wine_test::is_file(folder / "setupapi.dll.loaded"));
}
