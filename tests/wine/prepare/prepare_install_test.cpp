// Installing a folder just prepared: the engine's own installer is started from the preparation's
// own folder, whatever the user's copy holds, and that folder goes once the installation ended. A
// program of its own: the installer runs with Wine's catalog modules, not the catalog stand-ins.
#include <cstring>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/install/install.h"
#include "engine/package/folder_retirement.h"
#include "prepare_test_util.h"

using namespace prepare_test;

namespace {

const device usart(0x2E3C, 0xF000, 0, "Korvex-USART");
std::string user_folder;
bool tampered = false;

// Right after the user's copy was written, its installers are replaced by text.
void tamper(int, const char* line) {
  if (tampered || std::strstr(line, "successfully extracted driver files to") == nullptr) return;
  tampered = true;
  for (const char* name : {"installer_x64.exe", "installer_x86.exe"}) wine_test::write_file(user_folder + "\\" + name, "planted");
}

}  // namespace

// Installing the folder just prepared starts the engine's own installer from its own folder, which
// goes once the installation has ended.
TEST(PreparedInstallation, RunsFromTheOwnFolderAndRemovesIt) {
  scratch_dir dir;
  user_folder = dir.path();
  engine_log_set_receiver(tamper);
  wdi_prepare_options o = options_for(DRIVER_KIND_CDC);
  o.skip_catalog = 1;
  ASSERT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "Korvex-USART.inf", &o), WDI_ST_OK);
  engine_log_set_receiver(nullptr);
  ASSERT_TRUE(tampered);
  wine_test::engine_log_capture log;
  wdi_install_options install = {};
  int status = wdi_install_driver(const_cast<wdi_device_entry*>(usart.get()), dir.path().c_str(), "Korvex-USART.inf",
                                  &install);
  std::string text = log.text();
  size_t at = text.find("installing the package prepared in '");
  ASSERT_NE(at, std::string::npos) << text;
  std::string own = text.substr(at + 36, text.find('\'', at + 36) - at - 36);
  EXPECT_EQ(own.find(dir.path()), std::string::npos);
  // Removed on a thread of its own once the installer has ended.
  velmor::prepare::settle_retired_folders();
  EXPECT_FALSE(exists(own)) << own << text;
  // The planted "installer" is no program: had it been started, the start would have failed.
  EXPECT_EQ(text.find("ShellExecuteEx failed"), std::string::npos) << text;
  EXPECT_EQ(text.find("CreateProcess failed"), std::string::npos) << text;
  // The engine's installer ran and reported (Wine's device installer wants the catalog the INF names).
  EXPECT_NE(text.find("Velmor:debug [installer process] got parameter Korvex-USART.inf"), std::string::npos);
  EXPECT_NE(text.find("installer process completed"), std::string::npos);
  EXPECT_NE(status, WDI_ST_ELEVATION_REQUIRED);}

