// Before Vista the installed package stays as the source Windows installs the probe from on another
// port: one protected folder per package kind, replaced by the next installation, removed with the
// package, and whole again after a run killed between the steps of a replacement.
#include <shlobj.h>

#include <set>

#include "engine/common/status.h"
#include "engine/install/install.h"
#include "engine/package/folder_retirement.h"
#include "engine/package/kept_source.h"
#include "prepare_test_util.h"

using namespace prepare_test;

namespace {

const device usart(0x2E3C, 0xF000, 0, "Korvex-USART");

std::string sources_folder() {
  char data[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
  return std::string(data) + "\\Velmor driver sources";
}

const std::string kept = sources_folder() + "\\Korvex-USART";

// What the folder of all sources holds of the USART kind.
std::set<std::string> usart_entries() {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = ::FindFirstFileA((sources_folder() + "\\Korvex-USART*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.insert(entry.cFileName); while (::FindNextFileA(find, &entry));
  ::FindClose(find);
  return names;
}

// Prepares the USART package and installs it; the log of the installation.
std::string prepare_and_install(const scratch_dir& dir) {
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "Korvex-USART.inf", &o), WDI_ST_OK);
  wine_test::engine_log_capture log;
  wdi_install_options install = {};
  wdi_install_driver(const_cast<wdi_device_entry*>(usart.get()), dir.path().c_str(), "Korvex-USART.inf", &install);
  velmor::prepare::settle_retired_folders();
  return log.text();
}

bool xp() { return wine_test::version_under_test() == "winxp"; }

}  // namespace

TEST(KeptSource, OneFolderPerPackageReplacedByTheNextInstallationAndRemovedWithIt) {
  scratch_dir dir;
  std::string text = prepare_and_install(dir);
  if (!xp()) {
    EXPECT_EQ(text.find("kept as the package's source"), std::string::npos) << "the driver store keeps it from Vista on";
    return;
  }
  EXPECT_NE(text.find("installing from '" + kept + "', kept as the package's source"), std::string::npos) << text;
  EXPECT_NE(text.find("got parameter Korvex-USART.inf"), std::string::npos) << text;
  EXPECT_EQ(usart_entries(), std::set<std::string>{"Korvex-USART"});
  EXPECT_TRUE(exists(kept + "\\Korvex-USART.inf"));
  EXPECT_TRUE(exists(kept + "\\installer_x64.exe"));

  ASSERT_TRUE(wine_test::write_file(kept + "\\stale.txt", "of the last installation"));
  prepare_and_install(dir);
  EXPECT_EQ(usart_entries(), std::set<std::string>{"Korvex-USART"});
  EXPECT_FALSE(exists(kept + "\\stale.txt"));
  EXPECT_EQ(read_file(kept + "\\Korvex-USART.inf"), read_file(dir.file("Korvex-USART.inf")));

  EXPECT_EQ(wdi_forget_package_source("Korvex-USART.inf"), WDI_ST_OK);
  EXPECT_TRUE(usart_entries().empty());
  EXPECT_FALSE(exists(sources_folder()));
  EXPECT_EQ(wdi_forget_package_source("Korvex-USART.inf"), WDI_ST_OK);
}

// A run killed at any step of a replacement: the next one finds one complete copy as the source
// (the new one once it was complete, else the old one) and nothing else of the kind.
TEST(KeptSource, TheNextRunMendsAReplacementCutShort) {
  if (!xp()) GTEST_SKIP() << "sources are kept before Vista only";
  struct left_behind {
    const char* kept;
    const char* old_copy;
    const char* new_copy;
    const char* expected;  // the source's marker afterwards; null: none kept
  };
  const left_behind cases[] = {
      {nullptr, "old", "new", "new"},      // between renaming the old copy away and the new one in
      {nullptr, "old", nullptr, "old"},    // the new copy's rename undone by hand: the old one serves
      {"kept", nullptr, "partial", "kept"},  // while the new copy was written
      {"kept", "old", nullptr, "kept"},    // before the old copy was removed
      {nullptr, nullptr, "partial", nullptr},  // the first copy cut short
  };
  for (const left_behind& c : cases) {
    SCOPED_TRACE(std::string(c.kept ? c.kept : "-") + "/" + (c.old_copy ? c.old_copy : "-") + "/" +
                 (c.new_copy ? c.new_copy : "-"));
    ::CreateDirectoryA(sources_folder().c_str(), nullptr);
    if (c.kept) {
      ASSERT_TRUE(wine_test::write_file(kept + "\\marker", c.kept));
    }
    if (c.old_copy) {
      ASSERT_TRUE(wine_test::write_file(kept + ".old\\marker", c.old_copy));
    }
    if (c.new_copy) {
      ASSERT_TRUE(wine_test::write_file(kept + ".new\\marker", c.new_copy));
    }
    velmor::kept_source::mend("Korvex-USART.inf");
    if (c.expected != nullptr) {
      EXPECT_EQ(usart_entries(), std::set<std::string>{"Korvex-USART"});
      EXPECT_EQ(read_file(kept + "\\marker"), c.expected);
    } else {
      EXPECT_TRUE(usart_entries().empty());
    }
    EXPECT_EQ(wdi_forget_package_source("Korvex-USART.inf"), WDI_ST_OK);
  }
}
