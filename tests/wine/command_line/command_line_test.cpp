// The app started with a command: /list, /install and /extract run for real against planted
// probes, with their lines, exit codes, log file, and no window where none may appear.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "command_fixture.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

struct WindowSearch {
  DWORD pid;
  std::set<std::wstring>* found;
};

void note_window(HWND window, const WindowSearch& search) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == search.pid) search.found->insert(gui::class_name(window) + L" \"" + gui::window_text(window) + L"\"");
}

BOOL CALLBACK note_top_level(HWND window, LPARAM search) {
  note_window(window, *reinterpret_cast<const WindowSearch*>(search));
  return TRUE;
}

// Every window of a process: top-level ones, shown or hidden, and message-only ones.
std::set<std::wstring> windows_of(DWORD pid) {
  std::set<std::wstring> found;
  WindowSearch search{pid, &found};
  ::EnumWindows(note_top_level, reinterpret_cast<LPARAM>(&search));
  for (HWND w = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
       w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
    note_window(w, search);
  }
  return found;
}

using wine_test::narrow;

Lines lines_of(const std::string& text) {
  Lines lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string joined(const std::set<std::wstring>& windows) {
  std::string all;
  for (const std::wstring& w : windows) all += narrow(w) + "; ";
  return all;
}

// One run of the app with a command, watched until it ends.
struct Outcome {
  long exit_code = -1;
  std::string out, err;
  std::set<std::wstring> windows;  // every window the process had while it was watched
};

class CommandLine : public cmd::CommandTest {
 protected:
  void SetUp() override {
    cmd::CommandTest::SetUp();
    options.stdout_path = logs / "out.txt";
  }

  Outcome Run(const std::string& arguments, DWORD timeout_ms = 300000) {
    Outcome outcome;
    options.arguments = arguments;
    gui::App run;
    if (!cmd::launch_app(run, options)) {
      ADD_FAILURE() << "could not start the app with " << arguments << ": " << wine_test::last_error();
      return outcome;
    }
    DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(run.process, 5) == WAIT_TIMEOUT) {
      std::set<std::wstring> now = windows_of(run.pid);
      outcome.windows.insert(now.begin(), now.end());
      if (::GetTickCount() - start > timeout_ms) {
        ADD_FAILURE() << arguments << " did not end";
        run.kill();
        break;
      }
    }
    outcome.exit_code = run.wait_exit(5000);
    outcome.out = wine_test::read_file(options.stdout_path);
    outcome.err = wine_test::read_file(options.log_path);
    std::printf("[%s] exit %ld\n", arguments.c_str(), outcome.exit_code);
    transcript_ += "[" + arguments + "] exit " + std::to_string(outcome.exit_code) + "\n--- out ---\n" + outcome.out +
                   "--- err ---\n" + outcome.err;
    return outcome;
  }

  void TearDown() override {
    if (HasFailure()) std::printf("--- runs ---\n%s--- end ---\n", transcript_.c_str());
    cmd::CommandTest::TearDown();
  }

  std::string transcript_;
  static std::string key(const char* instance) { return velmor_lab::probe_key(instance); }
  static std::string quoted(const std::string& path) { return "\"" + path + "\""; }
};

const char kBusyText[] = "Requested resource busy or similar call already in progress";

velmor_lab::probe_spec probe(const char* instance, velmor_lab::driver_state mi0, velmor_lab::driver_state mi3,
                             velmor_lab::driver_state mi4, const char* version = "1.0.0.1") {
  velmor_lab::probe_spec planted = cmd::bare_probe(instance);
  planted.mi[0].state = mi0;
  planted.mi[3].state = mi3;
  planted.mi[4].state = mi4;
  planted.driver_version = version;
  return planted;
}

TEST_F(CommandLine, ListShowsEveryProbeWithTheDriverStateOfItsInterfaces) {
  using velmor_lab::driver_state;
  Outcome none = Run("/list");
  EXPECT_EQ(0, none.exit_code);
  EXPECT_EQ(Lines({"No probe attached."}), lines_of(none.out));
  EXPECT_TRUE(none.windows.empty()) << joined(none.windows);

  ASSERT_TRUE(velmor_lab::plant_probe(probe("C0DE300A", driver_state::usbser, driver_state::none, driver_state::other)));
  Outcome one = Run("-LIST");
  EXPECT_EQ(0, one.exit_code);
  EXPECT_EQ(Lines({"Probe " + key("C0DE300A") +
                   ": usart=usbser 1.0.0.1, winusb=not installed, bridge=not installed (driver velmorvendor 1.0.0.1)"}),
            lines_of(one.out));

  ASSERT_TRUE(velmor_lab::plant_probe(
      probe("C0DE300B", driver_state::usbser, driver_state::winusb, driver_state::usbser, "2.5.0.17")));
  velmor_lab::probe_spec third = probe("C0DE300C", driver_state::custom, driver_state::none, driver_state::none);
  third.mi[0].service = "usbser2";  // begins with the expected name: not the driver
  third.mi[3].present = false;
  ASSERT_TRUE(velmor_lab::plant_probe(third));
  Outcome three = Run("/List");
  EXPECT_EQ(0, three.exit_code);
  Lines expected = {
      "Probe " + key("C0DE300A") +
          ": usart=usbser 1.0.0.1, winusb=not installed, bridge=not installed (driver velmorvendor 1.0.0.1)",
      "Probe " + key("C0DE300B") + ": usart=usbser 2.5.0.17, winusb=WinUSB 2.5.0.17, bridge=usbser 2.5.0.17",
      "Probe " + key("C0DE300C") + ": usart=not installed (driver usbser2 1.0.0.1), winusb=absent, bridge=not installed"};
  Lines got = lines_of(three.out);
  std::sort(got.begin(), got.end());  // in the engine's order, which the lab does not fix
  EXPECT_EQ(expected, got);
}

// Another copy of the tool refreshing once a second shares the enumeration: /list waits for its
// turn; an enumeration that stays busy is another copy at work.
TEST_F(CommandLine, ListBesideAnotherCopyOfTheTool) {
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe("C0DE310A")));
  Start();
  ASSERT_TRUE(cmd::wait_uid(app.dialog, cmd::uid_of("C0DE310A")));
  for (int i = 0; i < 5; ++i) {
    Outcome listed = Run("/list");
    EXPECT_EQ(0, listed.exit_code);
    EXPECT_EQ(Lines({"Probe " + key("C0DE310A") + ": usart=not installed, winusb=not installed, bridge=not installed"}),
              lines_of(listed.out));
  }
  EXPECT_EQ(0, app.close());

  cmd::HeldMutex enumerating("Global\\wdi_create_list");
  ASSERT_NE(nullptr, enumerating.handle);
  Outcome busy = Run("/list");
  EXPECT_EQ(3, busy.exit_code);
  EXPECT_EQ("", busy.out);
  EXPECT_NE(std::string::npos, busy.err.find("The devices cannot be listed")) << busy.err;
}

TEST_F(CommandLine, QuietInstallMakesNoWindowAndInstallsTheSerialInterfaces) {
  const char kProbe[] = "C0DE320A";
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  const std::string log = logs / "install run.log";
  FILE* earlier = std::fopen(log.c_str(), "wb");
  ASSERT_NE(nullptr, earlier);
  std::fputs("earlier run\r\n", earlier);
  std::fclose(earlier);

  // Wine's device installer does not finish the WinUSB package (docs/WINE.md): the serial ones.
  Outcome installed = Run("/install /interfaces usart,bridge /quiet /log " + quoted(log));
  EXPECT_TRUE(installed.windows.empty()) << "windows of the quiet run: " << joined(installed.windows);
  EXPECT_EQ(0, installed.exit_code);
  EXPECT_EQ(Lines({"Installing for probe " + key(kProbe) + ".", "Usart driver installed.", "Bridge driver installed."}),
            lines_of(installed.out));
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(kProbe, 0)));
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(kProbe, 4)));

  Outcome listed = Run("/list");
  Lines after = lines_of(listed.out);
  ASSERT_EQ(1u, after.size());
  EXPECT_TRUE(std::regex_match(after[0], std::regex("Probe " + std::regex_replace(key(kProbe), std::regex("&"), "\\&") +
                                                    ": usart=usbser( [0-9.]+)?, winusb=not installed, bridge=usbser( [0-9.]+)?")))
      << after[0];

  // The log: the earlier run kept, then every line of this one stamped, the engine's debug lines
  // among them, and the summary last.
  Lines logged = lines_of(wine_test::read_file(log));
  ASSERT_GE(logged.size(), 6u);
  EXPECT_EQ("earlier run", logged[0]);
  const std::regex stamped(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} .+)");
  for (size_t i = 1; i < logged.size(); ++i) EXPECT_TRUE(std::regex_match(logged[i], stamped)) << logged[i];
  auto logged_text = [&](const std::string& text) {
    return std::any_of(logged.begin(), logged.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(logged_text(" Started: ")) << "no start line";
  EXPECT_TRUE(logged_text(" Velmor:debug [wdi_install_driver] using standard mode"));
  EXPECT_TRUE(logged_text(" Usart driver installed."));
  EXPECT_NE(std::string::npos, logged.back().find(" Summary: usart succeeded, bridge succeeded; exit code 0"))
      << logged.back();
}

TEST_F(CommandLine, InstallTargetsTheFirstOfTwoProbes) {
  // Each with a hardware ID of its own: the system's installer serves every device of the ID it gets.
  ASSERT_TRUE(cmd::plant_tagged_probe("C0DE330A", "0001"));
  ASSERT_TRUE(cmd::plant_tagged_probe("C0DE330B", "0002"));
  Outcome installed = Run("/install /quiet /interfaces 0");
  EXPECT_EQ(0, installed.exit_code);
  Lines lines = lines_of(installed.out);
  ASSERT_EQ(2u, lines.size());
  const bool a_first = lines[0].find(key("C0DE330A")) != std::string::npos;
  const char* first = a_first ? "C0DE330A" : "C0DE330B";
  const char* second = a_first ? "C0DE330B" : "C0DE330A";
  EXPECT_EQ("Installing for probe " + key(first) + ", the first of 2 attached probes.", lines[0]);
  EXPECT_EQ("usbser", cmd::service_of(velmor_lab::probe_interface_id(first, 0)));
  EXPECT_EQ("", cmd::service_of(velmor_lab::probe_interface_id(second, 0))) << "the other probe was installed";
}

// The installer fails in the device installer (the stand-in in the 64-bit system folder, where the
// 64-bit installer takes it from): three attempts, then exit code 1 naming the interface. Without
// /quiet the progress window shows meanwhile.
TEST_F(CommandLine, FailingInstallerExitsOneAndNamesTheInterface) {
  const char kProbe[] = "C0DE340A";
  const std::string standin = wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH);
  ASSERT_TRUE(wine_test::is_file(standin)) << standin;
  wine_test::system_module_standin newdev(standin, "newdev.dll", true);
  ASSERT_TRUE(newdev.placed()) << standin;
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_DELAY_MS", nullptr);
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", nullptr);
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  const std::string log = logs / "failed.log";

  Outcome failed = Run("/install /interfaces usart /log " + quoted(log));
  EXPECT_EQ(1, failed.exit_code);
  Lines lines = lines_of(failed.out);
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(Usart driver installation failed\. .+ \(status -[0-9]+\))")))
      << lines[1];
  EXPECT_EQ("", cmd::service_of(velmor_lab::probe_interface_id(kProbe, 0)));
  EXPECT_TRUE(std::any_of(failed.windows.begin(), failed.windows.end(),
                          [](const std::wstring& w) { return w.find(L"\"Installing Driver...\"") != std::wstring::npos; }))
      << "no progress window among: " << joined(failed.windows);
  Lines logged = lines_of(wine_test::read_file(log));
  ASSERT_FALSE(logged.empty());
  EXPECT_TRUE(std::regex_search(logged.back(), std::regex(R"( Summary: usart failed \(-[0-9]+\); exit code 1$)")))
      << logged.back();
}

TEST_F(CommandLine, AnotherCopyAtWorkGetsItsOwnExitCode) {
  cmd::HeldMutex preparing("Global\\wdi_prepare_driver");
  ASSERT_NE(nullptr, preparing.handle);
  Outcome busy = Run("/install /interfaces bridge /quiet");
  EXPECT_EQ(3, busy.exit_code);
  EXPECT_EQ(Lines({"No probe attached: installing for probes plugged in later.",
                   std::string("Bridge driver installation failed. ") + kBusyText + " (status -6)"}),
            lines_of(busy.out));
}

TEST_F(CommandLine, ExtractIntoAFolderWithBlanksAndChineseCharacters) {
  // "driver packages 驱动程序", given with a trailing backslash inside the quotes.
  const std::string dir = cwd / "driver packages \xe9\xa9\xb1\xe5\x8a\xa8\xe7\xa8\x8b\xe5\xba\x8f";
  const std::string log = logs / "\xe6\x97\xa5\xe5\xbf\x97.log";  // 日志.log
  Outcome extracted = Run("/EXTRACT " + quoted(dir + "\\") + " /log " + quoted(log));
  EXPECT_EQ(0, extracted.exit_code);
  EXPECT_EQ(Lines({"Usart driver extracted to " + dir + "\\Usart_driver",
                   "Bridge driver extracted to " + dir + "\\Bridge_driver",
                   "WinUSB driver extracted to " + dir + "\\WinUSB_driver"}),
            lines_of(extracted.out));
  ASSERT_TRUE(wine_test::is_directory(dir)) << "no folder " << dir;
  for (const char* package : {"Usart_driver\\Korvex-USART", "Bridge_driver\\Korvex-Bridge", "WinUSB_driver\\Korvex-WinUSB"}) {
    const std::string base = dir + "\\" + package;
    EXPECT_TRUE(wine_test::is_file(base + ".inf")) << package;
    // The 20 files the payload carries, the INF and the catalog where one could be made.
    const std::string package_folder = base.substr(0, base.rfind('\\'));
    EXPECT_EQ(21u + (wine_test::is_file(base + ".cat") ? 1 : 0), wine_test::list_files(package_folder).size())
        << package;
  }
  Lines logged = lines_of(wine_test::read_file(log));
  ASSERT_FALSE(logged.empty()) << "no log under the Chinese name";
  EXPECT_NE(std::string::npos, logged.back().find(" Summary: usart succeeded, bridge succeeded, winusb succeeded; exit code 0"));
}

TEST_F(CommandLine, BadCommandLinesExitTwoWithTheUsageAndWriteNothing) {
  const std::string log = logs / "never.log";
  const std::string dir = cwd / "never";
  const std::string bad[] = {
      "/bogus /log " + quoted(log),
      "/install /interfaces usart,com1 /log " + quoted(log),
      "/install /quiet -QUIET /log " + quoted(log),
      "/install /log",
      "/log " + quoted(log),
      "/extract " + quoted(dir) + " /interfaces 0 /log " + quoted(log),
      "/extract " + quoted(dir) + " " + quoted(dir),
  };
  for (const std::string& arguments : bad) {
    Outcome refused = Run(arguments);
    EXPECT_EQ(2, refused.exit_code) << arguments;
    EXPECT_EQ(0u, refused.err.find("Error: ")) << arguments;
    EXPECT_NE(std::string::npos, refused.err.find("Exit codes:")) << "no usage for " << arguments;
    EXPECT_EQ("", refused.out) << arguments;
    EXPECT_TRUE(refused.windows.empty()) << arguments << ": " << joined(refused.windows);
    EXPECT_FALSE(wine_test::is_file(log)) << arguments;
    EXPECT_FALSE(wine_test::is_directory(dir)) << arguments;
  }
  // A log file that cannot be opened stops the run before anything is done.
  Outcome no_folder = Run("/install /quiet /log " + quoted(logs / "missing folder\\x.log"));
  EXPECT_EQ(2, no_folder.exit_code);
  EXPECT_NE(std::string::npos, no_folder.err.find("cannot be opened")) << no_folder.err;
  EXPECT_EQ("", no_folder.out);
  EXPECT_EQ(0u, wine_test::list_files(profile.path()).size()) << "something was installed";
  EXPECT_EQ(0u, wine_test::list_files(cwd.path()).size());

  Outcome help = Run("-?");
  EXPECT_EQ(0, help.exit_code);
  EXPECT_NE(std::string::npos, help.out.find("/install [/interfaces LIST] [/quiet] [/log FILE]"));
  EXPECT_NE(std::string::npos, help.out.find("  3  another copy of this tool"));
  EXPECT_EQ("", help.err);
}

}  // namespace
