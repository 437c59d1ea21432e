// The window-free decisions of the install and extract commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandRules.h"
#include "engine/common/status.h"

namespace {

TEST(ProfilePackageFolder, JoinsTheProfileAndTheFolderName) {
  std::string folder;
  EXPECT_EQ(WDI_ST_OK, ProfilePackageFolder("C:\\Users\\ann", 12, "Usart_driver", &folder));
  EXPECT_EQ("C:\\Users\\ann\\Usart_driver", folder);
}

TEST(ProfilePackageFolder, RefusesAnUnsetOrEmptyProfile) {
  std::string folder = "untouched";
  // An unset variable reads as 0 characters, and so does an empty one.
  EXPECT_EQ(WDI_ST_MISSING, ProfilePackageFolder("", 0, "Usart_driver", &folder));
  EXPECT_EQ(WDI_ST_MISSING, ProfilePackageFolder("stale", 0, "Usart_driver", &folder));
  EXPECT_EQ(WDI_ST_MISSING, ProfilePackageFolder(nullptr, 0, "Usart_driver", &folder));
  EXPECT_EQ("untouched", folder);
}

TEST(ProfilePackageFolder, AcceptsTheLongestValueTheBufferHoldsAndRefusesLonger) {
  std::string longest(kProfileBufferSize - 1, 'p');
  std::string folder;
  EXPECT_EQ(WDI_ST_OK, ProfilePackageFolder(longest.c_str(), kProfileBufferSize - 1, "WinUSB_driver", &folder));
  EXPECT_EQ(longest + "\\WinUSB_driver", folder);
  // A value that does not fit: the read reports the size it needs (terminator included) and leaves
  // the buffer alone, so whatever is in it must not be used.
  folder = "untouched";
  EXPECT_EQ(WDI_ST_OVERRUN, ProfilePackageFolder("", kProfileBufferSize + 1, "WinUSB_driver", &folder));
  EXPECT_EQ(WDI_ST_OVERRUN, ProfilePackageFolder("C:\\x", kProfileBufferSize, "WinUSB_driver", &folder));
  EXPECT_EQ("untouched", folder);
}

struct AttemptLog {
  std::vector<int> results;  // what the attempts return, in order
  int calls = 0;
  std::vector<unsigned> pauses;
  int Run() {
    auto attempt = [this] { return results[static_cast<size_t>(calls++)]; };
    auto pause = [this](unsigned ms) { pauses.push_back(ms); };
    return RunAttempts(attempt, pause);
  }
};

TEST(RunAttempts, StopsAtTheFirstSuccessWithoutPausing) {
  AttemptLog log{{WDI_ST_OK}};
  EXPECT_EQ(WDI_ST_OK, log.Run());
  EXPECT_EQ(1, log.calls);
  EXPECT_TRUE(log.pauses.empty());
}

TEST(RunAttempts, SuccessAtTheSecondAttemptCostsOnePause) {
  AttemptLog log{{WDI_ST_IN_USE, WDI_ST_OK}};
  EXPECT_EQ(WDI_ST_OK, log.Run());
  EXPECT_EQ(2, log.calls);
  EXPECT_EQ(std::vector<unsigned>({2000}), log.pauses);
}

TEST(RunAttempts, ThreeFailuresPauseAfterEachAndReturnTheLastStatus) {
  AttemptLog log{{WDI_ST_IN_USE, WDI_ST_DENIED, WDI_ST_TIMED_OUT, WDI_ST_OK}};
  EXPECT_EQ(WDI_ST_TIMED_OUT, log.Run());
  EXPECT_EQ(3, log.calls);
  EXPECT_EQ(std::vector<unsigned>({2000, 2000, 2000}), log.pauses);
}

TEST(InstallInOrder, ChosenInterfacesInTheOrderZeroThreeFourEachWithItsAttempts) {
  std::vector<int> attempted;  // interface numbers, one per attempt
  std::vector<int> asked;
  std::vector<std::pair<int, int>> done;
  int pauses = 0;
  auto chosen = [&](const CommandInterface& row) {
    asked.push_back(row.number);
    return row.number != 4;
  };
  auto attempt = [&](const CommandInterface& row) {
    attempted.push_back(row.number);
    return row.number == 3 ? WDI_ST_DENIED : WDI_ST_OK;
  };
  InterfaceResults results = InstallInOrder(chosen, attempt, [&](unsigned) { ++pauses; },
                                            [&](const CommandInterface& row, int status) {
                                              done.emplace_back(row.number, status);
                                            });
  EXPECT_EQ(std::vector<int>({0, 3, 4}), asked);
  EXPECT_EQ(std::vector<int>({0, 3, 3, 3}), attempted);
  EXPECT_EQ(3, pauses);
  EXPECT_EQ((std::vector<std::pair<int, int>>{{0, WDI_ST_OK}, {3, WDI_ST_DENIED}}), done);
  EXPECT_EQ(WDI_ST_OK, results[kUsartInterface]);
  EXPECT_EQ(WDI_ST_DENIED, results[kWinusbInterface]);
  EXPECT_EQ(WDI_ST_OK, results[kBridgeInterface]) << "an interface not chosen counts as done";
  // Without a listener the results alone tell.
  EXPECT_EQ(WDI_ST_DENIED, InstallInOrder(chosen, attempt, [](unsigned) {}, nullptr)[kWinusbInterface]);
}

TEST(GenericIdByVersion, WindowsSevenAndLater) {
  EXPECT_FALSE(GenericIdByVersion(5, 1));
  EXPECT_FALSE(GenericIdByVersion(5, 2));
  EXPECT_FALSE(GenericIdByVersion(6, 0));
  EXPECT_TRUE(GenericIdByVersion(6, 1));
  EXPECT_TRUE(GenericIdByVersion(6, 2));
  EXPECT_TRUE(GenericIdByVersion(6, 3));
  EXPECT_TRUE(GenericIdByVersion(10, 0));
  EXPECT_TRUE(GenericIdByVersion(7, 0));
}

TEST(IsMsCompatibleId, MatchesTheTwelveCharacterPrefixExactly) {
  EXPECT_TRUE(IsMsCompatibleId("USB\\MS_COMP_WINUSB"));
  EXPECT_TRUE(IsMsCompatibleId("USB\\MS_COMP_"));
  EXPECT_FALSE(IsMsCompatibleId("USB\\MS_COMP"));
  EXPECT_FALSE(IsMsCompatibleId("usb\\ms_comp_winusb"));
  EXPECT_FALSE(IsMsCompatibleId("USB\\Class_FF&SubClass_00"));
  EXPECT_FALSE(IsMsCompatibleId(""));
  EXPECT_FALSE(IsMsCompatibleId(nullptr));
}

TEST(InterfaceTable, FoldersInfNamesAndKinds) {
  EXPECT_EQ(0, kUsartInterface.number);
  EXPECT_EQ(4, kBridgeInterface.number);
  EXPECT_EQ(3, kWinusbInterface.number);
  EXPECT_EQ(&ProbeRecord::usart, kUsartInterface.slot);
  EXPECT_EQ(&ProbeRecord::bridge, kBridgeInterface.slot);
  EXPECT_EQ(&ProbeRecord::winusb, kWinusbInterface.slot);
  EXPECT_EQ(3, kUsartInterface.driver_kind);
  EXPECT_EQ(3, kBridgeInterface.driver_kind);
  EXPECT_EQ(0, kWinusbInterface.driver_kind);
}

// The statuses of interfaces 0, 4 and 3.
InterfaceResults Results(int usart, int bridge, int winusb) {
  InterfaceResults results;
  results[kUsartInterface] = usart;
  results[kBridgeInterface] = bridge;
  results[kWinusbInterface] = winusb;
  return results;
}

std::vector<std::string> Texts(const std::vector<CommandBox>& boxes) {
  std::vector<std::string> texts;
  for (const CommandBox& box : boxes) texts.push_back(box.text);
  return texts;
}

TEST(InstallReport, OneInformationBoxWhenNothingFailed) {
  std::vector<CommandBox> boxes = InstallReport(Results(0, 0, 0));
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("The driver was installed successfully.", boxes[0].text);
  EXPECT_EQ(0x40u, boxes[0].icon);
}

TEST(InstallReport, OneErrorBoxPerFailureInTheOrderZeroFourThree) {
  std::vector<CommandBox> boxes = InstallReport(Results(-5, -6, -7));
  EXPECT_EQ(std::vector<std::string>({"Usart driver installation failed. Requested resource not found",
                                      "Bridge driver installation failed. Requested resource busy or similar call "
                                      "already in progress",
                                      "WinUSB driver installation failed. Operation timed out"}),
            Texts(boxes));
  for (const CommandBox& box : boxes) EXPECT_EQ(0x10u, box.icon);
}

TEST(InstallReport, SucceededInterfacesGetNoBox) {
  EXPECT_EQ(std::vector<std::string>({"Usart driver installation failed. Access denied",
                                      "WinUSB driver installation failed. Other error"}),
            Texts(InstallReport(Results(-3, 0, -99))));
  EXPECT_EQ(std::vector<std::string>({"Bridge driver installation failed. Unknown Error: -42"}),
            Texts(InstallReport(Results(0, -42, 0))));
}

TEST(ExtractReport, TextsOfTheExtractCommand) {
  EXPECT_EQ(std::vector<std::string>({"The driver was extract successfully."}), Texts(ExtractReport(Results(0, 0, 0))));
  std::vector<CommandBox> boxes = ExtractReport(Results(-1, -2, -3));
  EXPECT_EQ(std::vector<std::string>({"Usart driver was extract failed. Input/Output error",
                                      "Bridge driver was extract failed. Invalid parameter",
                                      "WinUSB driver was extract failed. Access denied"}),
            Texts(boxes));
  for (const CommandBox& box : boxes) EXPECT_EQ(0x10u, box.icon);
}

}  // namespace
