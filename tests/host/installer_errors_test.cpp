#include <gtest/gtest.h>

#include <string>

#include "installer/install_errors.h"

namespace {

struct expected_row {
  uint32_t code;
  const char* first_line;
  int status;
};

TEST(InstallErrorTable, EveryKnownCodeHasItsLineAndStatus) {
  const expected_row rows[] = {
      {2, "the system can not find the file specified (%s)", -5},
      {5, "this process needs to be run with administrative privileges", -15},
      {13, "the syntax of the inf is invalid", -17},
      {0xE0000003, "the syntax of the inf is invalid", -17},
      {0xE0000100, "the syntax of the inf is invalid", -17},
      {87, "invalid path or hardware ID (%s)", -2},
      {183, "driver already exists", -13},
      {259, "more recent driver was found (force option required)", -13},
      {1058, "the \"Windows Update\" service is disabled. Please enable that service.", -99},
      {0x8024002E, "the \"Windows Update\" service is disabled. Please enable that service.", -99},
      {3010, "the driver was installed successfully, but a reboot is required.", 0},
      {0x240006, "the driver is already installed", 0},
      {0xE0000203, "the driver is not compatible with this version of Windows", -12},
      {0xE000020B, "device not detected (copying driver files for next time device is plugged in)", 0},
      {0xE0000217, "a section of the inf has a problem", -17},
      {0xE000022F, "your system policy has been modified from Windows defaults, and", -19},
      {0xE0000235, "attempted to use a 32 bit installer on a 64 bit machine", -16},
      {0xE000023F, "operation cancelled by the user", -14},
      {0xE0000243, "operation cancelled by the user", -14},
      {0xE0000247, "operation cancelled by the user", -14},
      {0xE000024B, "unable to locate the file hashes in cat file", -5},
      {0xE0000304, "unable to locate cat file", -18},
  };
  for (const expected_row& e : rows) {
    const install_error_row* row = find_install_error(e.code);
    ASSERT_NE(row, nullptr) << std::hex << e.code;
    EXPECT_STREQ(row->lines[0], e.first_line) << std::hex << e.code;
    EXPECT_EQ(row->status, e.status) << std::hex << e.code;
    if (e.code != 0xE000022F) {
      EXPECT_EQ(row->lines[1], nullptr) << std::hex << e.code;
    }
  }
}

TEST(InstallErrorTable, UnsignedRefusalHasFourLinesEndingWithAnAddress) {
  const install_error_row* row = find_install_error(0xE000022F);
  ASSERT_NE(row, nullptr);
  EXPECT_STREQ(row->lines[1], "is set to reject unsigned drivers. You must revert the driver");
  EXPECT_STREQ(row->lines[2], "installation policy to default if you want to install this driver.");
  ASSERT_NE(row->lines[3], nullptr);
  EXPECT_NE(std::string(row->lines[3]).find("https://"), std::string::npos);
  // Only the two lines that name the INF path take an argument.
  for (const char* line : row->lines) EXPECT_EQ(std::string(line).find('%'), std::string::npos);
}

TEST(InstallErrorTable, NeighbouringAndUnknownCodesAreNotInTheTable) {
  for (uint32_t code : {0u, 1u, 3u, 3011u, 0xE000020Au, 0xE000022Eu, 0x80240000u, 0xFFFFFFFFu, 0x240007u}) {
    EXPECT_EQ(find_install_error(code), nullptr) << std::hex << code;
  }
}

TEST(InstallerMessageCode, MapsWindowsAndSetupErrorsToTheirFacilities) {
  EXPECT_EQ(installer_message_code(0), 0u);
  EXPECT_EQ(installer_message_code(2), 0x80070002u);
  EXPECT_EQ(installer_message_code(3010), 0x80070BC2u);
  // Only the low 16 bits survive for codes with the top three bits clear.
  EXPECT_EQ(installer_message_code(0x1FFF0005), 0x80070005u);
  EXPECT_EQ(installer_message_code(0xE000020B), 0x800F020Bu);
  EXPECT_EQ(installer_message_code(0xE0000003), 0x800F0003u);
  EXPECT_EQ(installer_message_code(0xFFFFFFFF), 0x800FFFFFu);
  // Anything else (HRESULTs, the 0x2xxxxxxx family) is used as it is.
  EXPECT_EQ(installer_message_code(0x8024002E), 0x8024002Eu);
  EXPECT_EQ(installer_message_code(0x20000001), 0x20000001u);
  EXPECT_EQ(installer_message_code(0xC0000005), 0xC0000005u);
}

}  // namespace
