// The command line of unattended use: splitting, reading, the lines and the exit codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "tests/support/json_reader.h"
#include "engine/common/status.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotesGroupAndVanishWhileBackslashesStay) {
  EXPECT_EQ(Args({"C:\\Program Files\\tool.exe", "/extract", "C:\\Deploy Here\\", "/log", "x.log"}),
            SplitCommandLine("\"C:\\Program Files\\tool.exe\" /extract \"C:\\Deploy Here\\\" /log x.log"));
  EXPECT_EQ(Args({"tool", "/install", "", "a b"}), SplitCommandLine("tool\t /install  \"\" a\" \"b  "));
  // UTF-8 bytes pass through untouched.
  EXPECT_EQ(Args({"tool", "C:\\\xE9\xA9\xB1\xE5\x8A\xA8 \xE7\x9B\xAE"}),
            SplitCommandLine("tool \"C:\\\xE9\xA9\xB1\xE5\x8A\xA8 \xE7\x9B\xAE\""));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(ParseCommandLine, NoArgumentsOpenTheDialog) {
  EXPECT_EQ(CommandAction::kDialog, ParseCommandLine({}).action);
}

TEST(ParseCommandLine, ReadsEachCommandWithItsOptionsInAnyCaseAndPrefix) {
  CommandLineRequest list = ParseCommandLine({"-LIST"});
  EXPECT_EQ(CommandAction::kList, list.action);
  EXPECT_EQ("", list.error);

  CommandLineRequest install = ParseCommandLine({"/Log", "C:\\a b\\run.log", "/install", "-Quiet", "/INTERFACES", "usart,3"});
  EXPECT_EQ("", install.error);
  EXPECT_EQ(CommandAction::kInstall, install.action);
  EXPECT_TRUE(install.quiet);
  EXPECT_EQ("C:\\a b\\run.log", install.log_file);
  EXPECT_TRUE(install.interfaces[kUsartInterface]);
  EXPECT_TRUE(install.interfaces[kWinusbInterface]);
  EXPECT_FALSE(install.interfaces[kBridgeInterface]);

  CommandLineRequest defaults = ParseCommandLine({"/install"});
  EXPECT_TRUE(defaults.interfaces[kUsartInterface] && defaults.interfaces[kBridgeInterface] && defaults.interfaces[kWinusbInterface]);
  EXPECT_FALSE(defaults.quiet);
  EXPECT_EQ("", defaults.log_file);

  CommandLineRequest extract = ParseCommandLine({"/extract", "out dir", "/log", "-run.log"});
  EXPECT_EQ("", extract.error);
  EXPECT_EQ("out dir", extract.directory);
  EXPECT_EQ("-run.log", extract.log_file) << "a file name may start with a dash";
  EXPECT_EQ("", ParseCommandLine({"/extract"}).directory);
}

TEST(ParseCommandLine, HelpWinsOverEverythingElse) {
  for (const Args& args : {Args{"/?"}, Args{"-help"}, Args{"/install", "/bogus", "/HELP"}}) {
    CommandLineRequest request = ParseCommandLine(args);
    EXPECT_EQ(CommandAction::kHelp, request.action);
    EXPECT_EQ("", request.error);
  }
}

TEST(ParseCommandLine, RefusesBadCommandLinesWithAReason) {
  const Args bad[] = {
      {"/bogus"},                               // unknown switch
      {"/install", "/interfaces"},              // missing value
      {"/install", "/log", "/quiet"},           // a switch where the value belongs
      {"/install", "/log", ""},                 // empty value
      {"/install", "/interfaces", "usart,com"}, // unknown interface
      {"/install", "/interfaces", "usart,,bridge"},
      {"/install", "/quiet", "/QUIET"},         // given twice
      {"/log", "a", "/list", "/log", "b"},
      {"/list", "/install"},                    // two commands
      {"/quiet"},                               // no command
      {"/list", "stray"},                       // a folder is for /extract only
      {"/extract", "a", "b"},
      {"/extract", ""},
      {"/extract", "/interfaces", "0"},         // /interfaces is not for /extract
      {"/list", "/interfaces", "0"},
      {"/check", "/uninstall"},
      {"/", "/list"},
  };
  for (const Args& args : bad) {
    CommandLineRequest request = ParseCommandLine(args);
    std::string joined;
    for (const std::string& a : args) joined += "[" + a + "]";
    EXPECT_NE("", request.error) << joined;
  }
  // /quiet anywhere in a bad command line still counts: no box may appear.
  EXPECT_TRUE(ParseCommandLine({"/bogus", "/quiet"}).quiet);
  EXPECT_FALSE(ParseCommandLine({"/bogus"}).quiet);
}

TEST(ParseInterfaceList, NamesAndNumbersInAnyMix) {
  CommandLineRequest request;
  std::string error;
  ASSERT_TRUE(ParseInterfaceList(" WinUSB , 4 ", &request, &error));
  EXPECT_FALSE(request.interfaces[kUsartInterface]);
  EXPECT_TRUE(request.interfaces[kWinusbInterface]);
  EXPECT_TRUE(request.interfaces[kBridgeInterface]);
  ASSERT_TRUE(ParseInterfaceList("0,usart", &request, &error));
  EXPECT_TRUE(request.interfaces[kUsartInterface]);
  EXPECT_FALSE(request.interfaces[kWinusbInterface] || request.interfaces[kBridgeInterface]);
  EXPECT_FALSE(ParseInterfaceList("1", &request, &error));
  EXPECT_NE(std::string::npos, error.find("\"1\""));
  EXPECT_FALSE(ParseInterfaceList("usart,", &request, &error));
  EXPECT_TRUE(request.interfaces[kUsartInterface]) << "a refused list leaves the choice alone";
}

TEST(ProbeLine, ShowsTheDriverOfEachInterfaceAsTheDialogJudgesIt) {
  const uint64_t v1001 = (1ull << 48) | 1;
  InterfaceState installed{true, true, "USBSER", v1001};
  InterfaceState none{true, false, nullptr, 0};
  InterfaceState foreign{true, false, "oth", (2ull << 48) | (65535ull << 16)};
  InterfaceState absent{false, false, nullptr, 0};
  InterfaceState no_version{true, true, "winusb", 0};
  EXPECT_EQ("Probe 6&C0DE&0: usart=USBSER 1.0.0.1, winusb=not installed, bridge=absent",
            ProbeLine("6&C0DE&0", {{&kUsartInterface, installed}, {&kWinusbInterface, none}, {&kBridgeInterface, absent}}));
  EXPECT_EQ("Probe : usart=not installed (driver oth 2.0.65535.0), winusb=winusb, bridge=not installed",
            ProbeLine("", {{&kUsartInterface, foreign},
                           {&kWinusbInterface, no_version},
                           {&kBridgeInterface, InterfaceState{true, false, "", 0}}}));
}

TEST(CommandLines, ReportEachInterfaceWithTheDialogsTexts) {
  EXPECT_EQ("Usart driver installed.", InstallLine(kUsartInterface, WDI_ST_OK));
  EXPECT_EQ("WinUSB driver installation failed. Requested resource busy or similar call already in progress (status -6)",
            InstallLine(kWinusbInterface, WDI_ST_IN_USE));
  EXPECT_EQ("Bridge driver extracted to C:\\x\\Bridge_driver", ExtractLine(kBridgeInterface, 0, "C:\\x\\Bridge_driver"));
  EXPECT_EQ("Bridge driver was extract failed. Access denied (status -3)", ExtractLine(kBridgeInterface, -3, "x"));
  EXPECT_EQ("No probe attached: installing for probes plugged in later.", TargetLine(0, ""));
  EXPECT_EQ("Installing for probe 6&A&0.", TargetLine(1, "6&A&0"));
  EXPECT_EQ("Installing for probe 6&A&0, the first of 2 attached probes.", TargetLine(2, "6&A&0"));
  EXPECT_EQ("Summary: usart succeeded, winusb failed (-6); exit code 3",
            SummaryLine(ResultsDetails({{&kUsartInterface, 0}, {&kWinusbInterface, -6}}), 3));
  EXPECT_EQ("nothing to do", ResultsDetails({}));
}

TEST(ExitCodeFor, BusyOnlyWhenEveryFailureWasAnotherCopyAtWork) {
  EXPECT_EQ(0, ExitCodeFor({}));
  EXPECT_EQ(0, ExitCodeFor({0, 0, 0}));
  EXPECT_EQ(3010, ExitCodeFor({0, 0}, true));
  EXPECT_EQ(1618, ExitCodeFor({0, WDI_ST_IN_USE}));
  EXPECT_EQ(1618, ExitCodeFor({WDI_ST_INSTALL_PENDING, WDI_ST_IN_USE}, true)) << "busy wins over a restart";
  EXPECT_EQ(1603, ExitCodeFor({WDI_ST_IN_USE, WDI_ST_TIMED_OUT, 0}, true));
  EXPECT_EQ(1603, ExitCodeFor({WDI_ST_OTHER}));
  EXPECT_EQ(1639, kExitUsage);
  EXPECT_EQ(1602, kExitStopped) << "the Windows installer's \"cancelled by the user\"";
}

TEST(ParseCommandLine, CheckAndUninstallTakeAnInterfaceList) {
  CommandLineRequest check = ParseCommandLine({"/CHECK", "/interfaces", "winusb"});
  EXPECT_EQ(CommandAction::kCheck, check.action);
  EXPECT_TRUE(check.interfaces[kWinusbInterface] && !check.interfaces[kUsartInterface] && !check.interfaces[kBridgeInterface]);
  CommandLineRequest uninstall = ParseCommandLine({"-uninstall", "/quiet", "/log", "u.log"});
  EXPECT_EQ(CommandAction::kUninstall, uninstall.action);
  EXPECT_TRUE(uninstall.interfaces[kUsartInterface] && uninstall.interfaces[kWinusbInterface] && uninstall.interfaces[kBridgeInterface] && uninstall.quiet);
  EXPECT_EQ("u.log", uninstall.log_file);
}

TEST(UnattendedLines, RefusalRestartBoundCheckAndUninstall) {
  EXPECT_EQ("", PlatformRefusalLine(0x8664, false));
  EXPECT_EQ("", PlatformRefusalLine(0, false));
  EXPECT_EQ(0u, PlatformRefusalLine(0xAA64, false).find("Nothing installed: Windows for ARM64 accepts only driver"));
  EXPECT_EQ(0u, PlatformRefusalLine(0x14C, true).find("Nothing installed: Windows in S mode accepts only"));
  EXPECT_EQ(480000u, RemainingRunMs(0));
  EXPECT_EQ(1u, RemainingRunMs(479999));
  EXPECT_EQ(0u, RemainingRunMs(480000));
  EXPECT_EQ(0u, RemainingRunMs(0xFFFFFFF0u)) << "a run past its bound stays past it";
  EXPECT_EQ("The run's time limit of 480 s cut it short: the interfaces not handled yet were not tried.",
            TimeLimitLine(kRunLimitMs));

  EXPECT_EQ("Usart driver package: not in the driver store", CheckPackageLine(kUsartInterface, {}));
  EXPECT_EQ("WinUSB driver package: in the driver store (oem3.inf, oem7.inf)",
            CheckPackageLine(kWinusbInterface, {"oem3.inf", "oem7.inf"}));
  InterfaceState installed{true, true, "usbser", 0};
  InterfaceState foreign{true, false, "other", 0};
  InterfaceState absent{false, false, nullptr, 0};
  std::vector<CheckedInterface> probe = {{&kUsartInterface, installed}, {&kWinusbInterface, absent}};
  EXPECT_EQ("Probe 6&A&0: usart=usbser, winusb=absent", ProbeLine("6&A&0", probe));
  EXPECT_TRUE(ProbeComplete(probe)) << "an interface the probe lacks needs no driver";
  probe.push_back({&kBridgeInterface, foreign});
  EXPECT_FALSE(ProbeComplete(probe));

  EXPECT_EQ("Bridge driver package: none in the driver store.", UninstallLine(kBridgeInterface, "", 0));
  EXPECT_EQ("Bridge driver package oem4.inf removed from the driver store.", UninstallLine(kBridgeInterface, "oem4.inf", 0));
  EXPECT_EQ("Bridge driver package oem4.inf could not be removed: Access denied (status -3)",
            UninstallLine(kBridgeInterface, "oem4.inf", -3));
  EXPECT_EQ("Certificates of this tool: none in the Root and TrustedPublisher stores.", CertificatesLine(0, 0));
  EXPECT_EQ("Certificates of this tool removed: 2 from Root, TrustedPublisher store not readable.",
            CertificatesLine(2, -3));
}

TEST(LogFileLines, StampsEveryLineAndDropsEmptyOnes) {
  LogStamp stamp{2025, 3, 7, 9, 5, 2, 45};
  EXPECT_EQ("2025-03-07 09:05:02.045 Velmor:error [CreateCat] Unable to locate x\r\n",
            LogFileLines(stamp, "Velmor:error [CreateCat] Unable to locate x\n"));
  EXPECT_EQ("2025-03-07 09:05:02.045 a\r\n2025-03-07 09:05:02.045 b\r\n", LogFileLines(stamp, "a\r\n\r\nb"));
  EXPECT_EQ("", LogFileLines(stamp, "\n"));
  // Out-of-range fields cannot overflow the prefix.
  LogStamp wild{123456, 999, 999, 999, 999, 999, 99999};
  EXPECT_EQ(std::string("3456-99-99 99:99:99.999 x\r\n"), LogFileLines(wild, "x"));
}

}  // namespace

namespace {

using json_test::value;

value Parsed(const std::string& json) {
  value parsed;
  std::string error;
  EXPECT_TRUE(json_test::reader::parse(json, &parsed, &error)) << error << ": " << json;
  return parsed;
}

JsonProbe Probe(const std::string& uid, const InterfaceState& usart, const InterfaceState& winusb,
                const InterfaceState& bridge) {
  return {uid, {{&kUsartInterface, usart}, {&kWinusbInterface, winusb}, {&kBridgeInterface, bridge}}};
}

TEST(ParseCommandLine, JsonGoesWithListAndCheckOnly) {
  EXPECT_TRUE(ParseCommandLine({"/list", "-JSON"}).json);
  CommandLineRequest check = ParseCommandLine({"/json", "/check", "/interfaces", "usart"});
  EXPECT_EQ("", check.error);
  EXPECT_TRUE(check.json);
  EXPECT_FALSE(ParseCommandLine({"/list"}).json);
  for (const char* command : {"/install", "/uninstall", "/extract"}) {
    EXPECT_NE("", ParseCommandLine({command, "/json"}).error) << command;
  }
  EXPECT_NE("", ParseCommandLine({"/list", "/json", "/json"}).error);
}

TEST(ProbeLine, NamesTheComPortOfASerialInterface) {
  InterfaceState usart{true, true, "usbser", (10ull << 48) | 19041ull << 16 | 1};
  usart.port = "COM3";
  InterfaceState foreign{true, false, "oth", 0};
  foreign.port = "COM12";
  InterfaceState none{true, false, nullptr, 0};
  none.port = "";
  EXPECT_EQ("Probe 6&A&0: usart=usbser 10.0.19041.1 on COM3, winusb=not installed, bridge=not installed (driver oth) on COM12",
            ProbeLine("6&A&0", {{&kUsartInterface, usart}, {&kWinusbInterface, none}, {&kBridgeInterface, foreign}}));
  EXPECT_EQ("Probe 6&A&0: usart=usbser 10.0.19041.1 on COM3, bridge=absent",
            ProbeLine("6&A&0", {{&kUsartInterface, usart}, {&kBridgeInterface, {false, false, nullptr, 0}}}));
}

TEST(Json, ListAndCheckReadAsJsonWithEveryState) {
  InterfaceState usart{true, true, "usbser", (1ull << 48) | 1};
  usart.port = "COM3";
  InterfaceState foreign{true, false, "oth\"er\\x\x01\xC3\xA9", 0};
  value list = Parsed(ListJson({Probe("6&A&0", usart, {true, false, nullptr, 0}, {false, false, nullptr, 0}),
                                Probe("6&B&0", foreign, {true, true, "WinUSB", 0}, usart)}));
  ASSERT_EQ(2u, list["probes"].items.size());
  const value& first = list["probes"][0];
  EXPECT_EQ("6&A&0", first["uid"].text);
  EXPECT_TRUE(first["usart"]["ok"].flag);
  EXPECT_EQ("usbser 1.0.0.1", first["usart"]["driver"].text);
  EXPECT_EQ("COM3", first["usart"]["port"].text);
  EXPECT_FALSE(first["winusb"]["ok"].flag);
  EXPECT_FALSE(first["winusb"].has("driver"));
  EXPECT_EQ(value::null, first["bridge"].kind);
  const value& second = list["probes"][1];
  EXPECT_FALSE(second["usart"]["ok"].flag);
  EXPECT_EQ("oth\"er\\x???", second["usart"]["driver"].text) << "control and non-ASCII bytes as '?'";
  EXPECT_FALSE(second["usart"].has("port"));
  EXPECT_EQ("WinUSB", second["winusb"]["driver"].text);
  EXPECT_FALSE(list.has("more"));
  EXPECT_EQ(0u, Parsed(ListJson({}))["probes"].items.size());

  value check = Parsed(CheckJson(false,
                                 {{&kUsartInterface, true, {"oem3.inf", "oem7.inf"}},
                                  {&kBridgeInterface, true, {}},
                                  {&kWinusbInterface, false, {}}},
                                 {{"6&A&0", {{&kUsartInterface, usart}}}}));
  EXPECT_FALSE(check["complete"].flag);
  EXPECT_EQ("oem7.inf", check["packages"]["usart"][1].text);
  EXPECT_EQ(value::array, check["packages"]["bridge"].kind);
  EXPECT_EQ(value::null, check["packages"]["winusb"].kind) << "the driver store could not be read";
  EXPECT_FALSE(check["probes"][0].has("winusb")) << "interfaces not requested are left out";
  EXPECT_EQ("The devices cannot be \"listed\"", Parsed(ErrorJson("The devices cannot be \"listed\""))["error"].text);
}

// A Remediations script's output is cut at 2,048 characters: eight probes with long states as Windows
// gives them (a current build's driver versions, three-digit COM ports, a vendor's own driver on the
// WinUSB interface) must fit, and whatever a device's registry says, the line stays whole JSON.
TEST(Json, EightProbesFitAndLongerOutputStaysWholeJson) {
  InterfaceState serial{true, true, "usbser", (10ull << 48) | (0ull << 32) | (26100ull << 16) | 2894};
  serial.port = "COM255";
  InterfaceState winusb{true, false, "velmorvendor", serial.version};
  std::vector<JsonProbe> probes;
  for (int i = 0; i < 8; ++i) probes.push_back(Probe("6&1A2B3C4" + std::to_string(i) + "&0", serial, winusb, serial));
  std::vector<JsonPackage> packages = {{&kUsartInterface, true, {"oem1234.inf"}},
                                       {&kWinusbInterface, true, {"oem1235.inf"}},
                                       {&kBridgeInterface, true, {"oem1236.inf"}}};
  for (const std::string& json : {ListJson(probes), CheckJson(true, packages, probes)}) {
    EXPECT_LE(json.size(), kJsonLimit);
    value parsed = Parsed(json);
    EXPECT_EQ(8u, parsed["probes"].items.size());
    EXPECT_FALSE(parsed.has("more"));
  }

  const std::string hostile(300, '"');  // each a two-character escape
  InterfaceState odd{true, false, hostile.c_str(), 0};
  probes.insert(probes.begin() + 1, Probe(hostile, odd, odd, odd));
  std::string json = CheckJson(true, packages, probes);
  EXPECT_LE(json.size(), kJsonLimit);
  value parsed = Parsed(json);
  ASSERT_TRUE(parsed.has("more"));
  EXPECT_EQ(probes.size(), parsed["probes"].items.size() + static_cast<size_t>(parsed["more"].num));
  EXPECT_EQ("6&1A2B3C40&0", parsed["probes"][0]["uid"].text);
}

}  // namespace

namespace {

TEST(UnattendedLines, PolicyRefusalNamesTheHardwareIdsToAllow) {
  std::string one = PolicyRefusalLine({&kBridgeInterface});
  EXPECT_NE(std::string::npos, one.find("allow the hardware ID USB\\VID_2E3C&PID_F000&MI_04 (")) << one;
  std::string three = PolicyRefusalLine({&kUsartInterface, &kWinusbInterface, &kBridgeInterface});
  EXPECT_NE(std::string::npos,
            three.find("IDs USB\\VID_2E3C&PID_F000&MI_00, USB\\VID_2E3C&PID_F000&MI_03 and USB\\VID_2E3C&PID_F000&MI_04"))
      << three;
  EXPECT_EQ(std::string::npos, three.find('\n'));
}

bool Interactive() { return true; }
bool NoDesktop() { return false; }
bool MustNotBeAsked() {
  ADD_FAILURE() << "the desktop was asked about";
  return true;
}

TEST(UsesDefaultLog, OnlyUnattendedInstallAndUninstallWithoutLog) {
  EXPECT_TRUE(UsesDefaultLog(ParseCommandLine({"/install", "/quiet"}), MustNotBeAsked));
  EXPECT_TRUE(UsesDefaultLog(ParseCommandLine({"/uninstall"}), NoDesktop));
  EXPECT_FALSE(UsesDefaultLog(ParseCommandLine({"/install"}), Interactive));
  EXPECT_FALSE(UsesDefaultLog(ParseCommandLine({"/install", "/quiet", "/log", "x.log"}), MustNotBeAsked));
  for (const char* command : {"/list", "/check", "/extract"}) {
    EXPECT_FALSE(UsesDefaultLog(ParseCommandLine({command}), MustNotBeAsked)) << command;
  }
}

TEST(ParseCommandLine, ForceGoesWithInstallOnly) {
  CommandLineRequest forced = ParseCommandLine({"/install", "-FORCE", "/quiet"});
  EXPECT_EQ("", forced.error);
  EXPECT_TRUE(forced.force);
  EXPECT_FALSE(ParseCommandLine({"/install"}).force);
  for (const char* command : {"/list", "/check", "/uninstall", "/extract"}) {
    EXPECT_NE("", ParseCommandLine({command, "/force"}).error) << command;
  }
  EXPECT_NE("", ParseCommandLine({"/install", "/force", "/force"}).error);
}

// /install leaves alone Windows' own driver of any version and ours of the payload's version; an
// older or unknown version of ours, another service or an absent interface is installed.
TEST(AlreadyInstalled, WindowsOwnDriverOrOursOfTheSameVersion) {
  const uint64_t v1000 = 1ull << 48;
  const uint64_t windows = (10ull << 48) | (19041ull << 16) | 1;
  InterfaceState inbox{true, true, "usbser", windows};
  EXPECT_TRUE(AlreadyInstalled(inbox, false, v1000));
  EXPECT_FALSE(AlreadyInstalled(inbox, true, v1000)) << "ours of another version";
  EXPECT_TRUE(AlreadyInstalled(InterfaceState{true, true, "usbser", v1000}, true, v1000));
  EXPECT_FALSE(AlreadyInstalled(InterfaceState{true, true, "usbser", 0}, true, 0)) << "unknown is never the same";
  EXPECT_FALSE(AlreadyInstalled(InterfaceState{true, false, "oth", v1000}, false, v1000));
  EXPECT_FALSE(AlreadyInstalled(InterfaceState{true, false, nullptr, 0}, false, v1000));
  EXPECT_FALSE(AlreadyInstalled(InterfaceState{false, false, nullptr, 0}, false, v1000));
  EXPECT_EQ("Usart driver already installed (usbser 10.0.19041.1).", AlreadyInstalledLine(kUsartInterface, inbox));
  EXPECT_EQ("WinUSB driver already installed (WinUSB).",
            AlreadyInstalledLine(kWinusbInterface, InterfaceState{true, true, "WinUSB", 0}));
}

}  // namespace
