// The app started with a command: /list, /install and /extract run for real against planted
// probes, with their lines, exit codes, log file, and no window where none may appear.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <wincrypt.h>

#include "command_fixture.h"
#include "engine/install/install.h"
#include "engine/signing/own_certificates.h"
#include "engine/signing/signing.h"
#include "json_reader.h"
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

BOOL CALLBACK note_child(HWND window, LPARAM search) {
  note_window(window, *reinterpret_cast<const WindowSearch*>(search));
  return TRUE;
}

BOOL CALLBACK note_top_level(HWND window, LPARAM search) {
  note_window(window, *reinterpret_cast<const WindowSearch*>(search));
  ::EnumChildWindows(window, note_child, search);
  return TRUE;
}

// Every window of a process: top-level ones, shown or hidden, with their children, and message-only ones.
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

json_test::value parsed_json(const std::string& out) {
  Lines lines = lines_of(out);
  json_test::value parsed;
  std::string error;
  EXPECT_EQ(1u, lines.size()) << out;
  if (lines.size() == 1) {
    EXPECT_LT(lines[0].size(), 2048u);
    EXPECT_TRUE(json_test::reader::parse(lines[0], &parsed, &error)) << error << ": " << lines[0];
  }
  return parsed;
}

// What an administrator asks first: which COM port each serial interface got, as text and as JSON
// that a script's parser reads.
TEST_F(CommandLine, ListAndCheckNameTheComPortsAlsoAsJson) {
  using velmor_lab::driver_state;
  velmor_lab::probe_spec first = probe("C0DE301A", driver_state::usbser, driver_state::winusb, driver_state::usbser);
  first.mi[0].port = "COM3";
  first.mi[4].port = "COM4";
  velmor_lab::probe_spec second = probe("C0DE301B", driver_state::usbser, driver_state::none, driver_state::none);
  second.mi[0].port = "COM17";
  second.mi[4].present = false;
  ASSERT_TRUE(velmor_lab::plant_probe(first));
  ASSERT_TRUE(velmor_lab::plant_probe(second));

  Outcome text = Run("/list");
  EXPECT_EQ(0, text.exit_code);
  Lines got = lines_of(text.out);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(Lines({"Probe " + key("C0DE301A") +
                       ": usart=usbser 1.0.0.1 on COM3, winusb=WinUSB 1.0.0.1, bridge=usbser 1.0.0.1 on COM4",
                   "Probe " + key("C0DE301B") + ": usart=usbser 1.0.0.1 on COM17, winusb=not installed, bridge=absent"}),
            got);

  Outcome listed = Run("/list /json");
  EXPECT_EQ(0, listed.exit_code);
  json_test::value list = parsed_json(listed.out);
  ASSERT_TRUE(list.has("probes")) << listed.out;
  ASSERT_EQ(2u, list["probes"].items.size());
  std::map<std::string, const json_test::value*> by_uid;
  for (const json_test::value& p : list["probes"].items) by_uid[p["uid"].text] = &p;
  ASSERT_EQ(1u, by_uid.count(key("C0DE301A")));
  ASSERT_EQ(1u, by_uid.count(key("C0DE301B")));
  const json_test::value& a = *by_uid[key("C0DE301A")];
  EXPECT_EQ("COM3", a["usart"]["port"].text);
  EXPECT_EQ("COM4", a["bridge"]["port"].text);
  EXPECT_TRUE(a["bridge"]["ok"].flag);
  EXPECT_EQ("WinUSB 1.0.0.1", a["winusb"]["driver"].text);
  EXPECT_FALSE(a["winusb"].has("port"));
  const json_test::value& b = *by_uid[key("C0DE301B")];
  EXPECT_EQ("COM17", b["usart"]["port"].text);
  EXPECT_EQ(json_test::value::null, b["bridge"].kind);

  Outcome checked = Run("/check /interfaces usart,bridge /json");
  json_test::value check = parsed_json(checked.out);
  ASSERT_TRUE(check.has("complete")) << checked.out;
  EXPECT_EQ(checked.exit_code == 0, check["complete"].flag);
  EXPECT_EQ(json_test::value::array, check["packages"]["usart"].kind);
  EXPECT_FALSE(check["packages"].has("winusb"));
  ASSERT_EQ(2u, check["probes"].items.size());
  for (const json_test::value& p : check["probes"].items) {
    EXPECT_FALSE(p.has("winusb"));
    EXPECT_EQ(p["uid"].text == key("C0DE301A") ? "COM3" : "COM17", p["usart"]["port"].text);
  }
}

// An unattended run without /log leaves its log where management tools collect logs, the previous
// run's beside it.
TEST_F(CommandLine, QuietRunWritesTheDefaultLogAndKeepsThePreviousOne) {
  char windows[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetSystemWindowsDirectoryA(windows, MAX_PATH));
  const std::string log = std::string(windows) + "\\Logs\\Software\\Velmor_VirtualCOM_DriverInstall.log";
  ::DeleteFileA(log.c_str());
  ::DeleteFileA((log + ".1").c_str());

  ASSERT_EQ(0, Run("/uninstall /interfaces winusb /quiet").exit_code);
  const std::string first = wine_test::read_file(log);
  EXPECT_NE(std::string::npos, first.find("Started: ")) << first;
  EXPECT_NE(std::string::npos, first.find(" Summary: ")) << first;
  EXPECT_FALSE(wine_test::exists(log + ".1"));

  ASSERT_EQ(0, Run("/uninstall /interfaces winusb /quiet").exit_code);
  EXPECT_EQ(first, wine_test::read_file(log + ".1"));
  EXPECT_NE(first, wine_test::read_file(log));
  EXPECT_NE(std::string::npos, wine_test::read_file(log).find(" Summary: "));

  // Not for a run with a log of its own, nor for /check, which detection rules run every hour.
  const std::string second = wine_test::read_file(log);
  Run("/check /interfaces winusb");
  ASSERT_EQ(0, Run("/uninstall /interfaces winusb /quiet /log " + quoted(logs / "own.log")).exit_code);
  EXPECT_EQ(second, wine_test::read_file(log));
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
  EXPECT_EQ(1618, busy.exit_code);
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
// 64-bit installer takes it from): three attempts, then exit code 1603 naming the interface.
// Without /quiet the progress window shows meanwhile.
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
  EXPECT_EQ(1603, failed.exit_code);
  Lines lines = lines_of(failed.out);
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(Usart driver installation failed\. .+ \(status -[0-9]+\))")))
      << lines[1];
  EXPECT_EQ("", cmd::service_of(velmor_lab::probe_interface_id(kProbe, 0)));
  EXPECT_TRUE(std::any_of(failed.windows.begin(), failed.windows.end(),
                          [](const std::wstring& w) { return w.find(L"\"Installing Driver...\"") != std::wstring::npos; }))
      << "no progress window among: " << joined(failed.windows);
  // Its bar: the command line loads the common controls only for the progress window.
  EXPECT_TRUE(std::any_of(failed.windows.begin(), failed.windows.end(),
                          [](const std::wstring& w) { return w.rfind(L"msctls_progress32 ", 0) == 0; }))
      << "no progress bar among: " << joined(failed.windows);
  Lines logged = lines_of(wine_test::read_file(log));
  ASSERT_FALSE(logged.empty());
  EXPECT_TRUE(std::regex_search(logged.back(), std::regex(R"( Summary: usart failed \(-[0-9]+\); exit code 1603$)")))
      << logged.back();
}

TEST_F(CommandLine, AnotherCopyAtWorkGetsItsOwnExitCode) {
  {
    cmd::HeldMutex preparing("Global\\wdi_prepare_driver");
    ASSERT_NE(nullptr, preparing.handle);
    Outcome busy = Run("/install /interfaces bridge /quiet");
    EXPECT_EQ(1618, busy.exit_code);
    EXPECT_EQ(Lines({"No probe attached: installing for probes plugged in later.",
                     std::string("Bridge driver installation failed. ") + kBusyText + " (status -6)"}),
              lines_of(busy.out));
  }
  // The installation's own mutex: another copy installing, for /install and /uninstall alike.
  cmd::HeldMutex installing(WDI_INSTALL_MUTEX_NAME);
  ASSERT_NE(nullptr, installing.handle);
  Outcome busy = Run("/install /interfaces usart /quiet");
  EXPECT_EQ(1618, busy.exit_code);
  EXPECT_NE(std::string::npos, busy.out.find("(status -6)")) << busy.out;
  EXPECT_EQ(1618, Run("/uninstall /quiet").exit_code);
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
      "/check /uninstall /log " + quoted(log),
  };
  for (const std::string& arguments : bad) {
    Outcome refused = Run(arguments);
    EXPECT_EQ(1639, refused.exit_code) << arguments;
    EXPECT_EQ(0u, refused.err.find("Error: ")) << arguments;
    EXPECT_NE(std::string::npos, refused.err.find("Exit codes:")) << "no usage for " << arguments;
    EXPECT_EQ("", refused.out) << arguments;
    EXPECT_TRUE(refused.windows.empty()) << arguments << ": " << joined(refused.windows);
    EXPECT_FALSE(wine_test::is_file(log)) << arguments;
    EXPECT_FALSE(wine_test::is_directory(dir)) << arguments;
  }
  // A log file that cannot be opened stops the run before anything is done.
  Outcome no_folder = Run("/install /quiet /log " + quoted(logs / "missing folder\\x.log"));
  EXPECT_EQ(1639, no_folder.exit_code);
  EXPECT_NE(std::string::npos, no_folder.err.find("cannot be opened")) << no_folder.err;
  EXPECT_EQ("", no_folder.out);
  EXPECT_EQ(0u, wine_test::list_files(profile.path()).size()) << "something was installed";
  EXPECT_EQ(0u, wine_test::list_files(cwd.path()).size());

  Outcome help = Run("-?");
  EXPECT_EQ(0, help.exit_code);
  EXPECT_NE(std::string::npos, help.out.find("/install [/interfaces LIST] [/force] [/quiet] [/log FILE]"));
  for (const char* text : {"/check [/interfaces LIST]", "/uninstall [/interfaces LIST] [/quiet] [/log FILE]",
                           "  3010  succeeded; a restart is needed", "  1618  another copy of this tool",
                           "  1603  at least one failed", "  1639  bad command line", "  1602  stopped from the console"}) {
    EXPECT_NE(std::string::npos, help.out.find(text)) << text;
  }
  EXPECT_EQ("", help.err);
}

// The device installer reports success and a needed restart: an unattended run asks for no prompt,
// passes a place for the restart, and ends with 3010; Windows is not restarted.
TEST_F(CommandLine, QuietInstallIsUnattendedAndEndsWithTheRestartCode) {
  const char kProbe[] = "C0DE350A";
  wine_test::system_module_standin newdev(wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH), "newdev.dll", true);
  ASSERT_TRUE(newdev.placed());
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  const std::string record = logs / "newdev.txt";
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", "0");
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RESTART", "1");
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", record.c_str());
  const std::string log = logs / "restart.log";
  Outcome restart = Run("/install /interfaces usart /quiet /log " + quoted(log));
  Outcome interactive = Run("/install /interfaces usart");
  for (const char* name : {"VELMOR_TEST_NEWDEV_ERROR", "VELMOR_TEST_NEWDEV_RESTART", "VELMOR_TEST_NEWDEV_RECORD"}) {
    ::SetEnvironmentVariableA(name, nullptr);
  }
  EXPECT_EQ(3010, restart.exit_code);
  EXPECT_EQ(Lines({"Installing for probe " + key(kProbe) + ".", "Usart driver installed.",
                   "A restart is needed to finish the installation; Windows was not restarted."}),
            lines_of(restart.out));
  EXPECT_NE(std::string::npos, wine_test::read_file(log).find("Summary: usart succeeded; exit code 3010"));
  // INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE with a restart output; with a desktop and without
  // /quiet, the installation as the dialog makes it (the restart then is Windows' own to offer).
  EXPECT_EQ("update flags=0x5 restart=out\nupdate flags=0x1 restart=null\n", wine_test::read_file(record));
  EXPECT_EQ(0, interactive.exit_code);
}

// A device installation policy forbids the probe (the device installer answers 0xE0000248): one
// line names the hardware ID an administrator must allow.
TEST_F(CommandLine, PolicyRefusalNamesTheHardwareIdToAllow) {
  const char kProbe[] = "C0DE351A";
  wine_test::system_module_standin newdev(wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH), "newdev.dll", true);
  ASSERT_TRUE(newdev.placed());
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", "0xE0000248");
  Outcome refused = Run("/install /interfaces bridge /quiet");
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_ERROR", nullptr);
  EXPECT_EQ(1603, refused.exit_code);
  Lines lines = lines_of(refused.out);
  ASSERT_EQ(3u, lines.size()) << refused.out;
  EXPECT_EQ(0u, lines[1].find("Bridge driver installation failed. ")) << lines[1];
  EXPECT_EQ(0u, lines[2].find("A device installation policy of this PC forbids the installation: an administrator "
                              "must allow the hardware ID USB\\VID_2E3C&PID_F000&MI_04 ("))
      << lines[2];
}

// Windows in S mode (as ARM64) accepts only packages signed by Microsoft: nothing is prepared or
// installed, one line says why.
TEST_F(CommandLine, SModeRefusesTheInstallation) {
  const char kPolicy[] = "SYSTEM\\CurrentControlSet\\Control\\CI\\Policy";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPolicy, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                             nullptr));
  DWORD one = 1;
  ::RegSetValueExA(key, "SkuPolicyRequired", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
  Outcome refused = Run("/install /quiet");
  ::RegDeleteValueA(key, "SkuPolicyRequired");
  ::RegCloseKey(key);
  EXPECT_EQ(1603, refused.exit_code);
  EXPECT_EQ("", refused.out);
  EXPECT_EQ(0u, refused.err.find("Nothing installed: Windows in S mode accepts only driver packages signed by "
                                 "Microsoft; the probe's serial ports and WinUSB interface are set up by Windows"))
      << refused.err;
  EXPECT_EQ(0u, wine_test::list_files(profile.path()).size()) << "something was prepared";
}

// Certificates of a machine store whose subject contains `text`, by thumbprint.
std::set<std::string> certificates(const char* store_name, const std::string& text) {
  std::set<std::string> found;
  HCERTSTORE store =
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, store_name);
  if (store == nullptr) return found;
  for (PCCERT_CONTEXT cert = ::CertEnumCertificatesInStore(store, nullptr); cert != nullptr;
       cert = ::CertEnumCertificatesInStore(store, cert)) {
    char name[256] = {};
    ::CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof(name));
    if (std::string(name).find(text) == std::string::npos) continue;
    BYTE hash[20] = {};
    DWORD size = sizeof(hash);
    ::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
    char hex[41] = {};
    for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02X", hash[i]);
    found.insert(hex);
  }
  ::CertCloseStore(store, 0);
  return found;
}

std::string thumbprint_of(PCCERT_CONTEXT cert) {
  BYTE hash[20] = {};
  DWORD size = sizeof(hash);
  ::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
  char hex[41] = {};
  for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02X", hash[i]);
  return hex;
}

// Removes a certificate from both stores through the registry behind them.
void forget_certificate(const std::string& thumbprint) {
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    std::string key = std::string("Software\\Microsoft\\SystemCertificates\\") + store_name + "\\Certificates\\" + thumbprint;
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
  }
}

// A certificate made, recorded and trusted as the signing step does it (Wine's device installer
// checks no catalog, so an installation under Wine may leave none); unrecorded, it is a look-alike
// with every mark of ours.
struct OurCertificate {
  std::string thumbprint;
  explicit OurCertificate(const char* subject, bool recorded = true) {
    PCCERT_CONTEXT cert = CreateSelfSignedCert(subject);
    if (cert == nullptr) return;
    if ((!recorded || record_own_certificate(cert, subject)) && AddCertToStore(cert, "Root") &&
        AddCertToStore(cert, "TrustedPublisher")) {
      thumbprint = thumbprint_of(cert);
    }
    DeletePrivateKey(cert);
    ::CertFreeCertificateContext(cert);
  }
  ~OurCertificate() { forget_certificate(thumbprint); }
};

// A certificate that is not ours, though named like ours and with our friendly name, in both stores.
// Removed from the registry behind the stores afterwards.
struct ForeignCertificate {
  std::string thumbprint;
  explicit ForeignCertificate(const char* subject) {
    BYTE encoded[256];
    DWORD size = sizeof(encoded);
    if (!::CertStrToNameA(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, encoded, &size, nullptr)) return;
    CERT_NAME_BLOB name = {size, encoded};
    PCCERT_CONTEXT cert = ::CertCreateSelfSignCertificate(0, &name, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (cert == nullptr) return;
    wchar_t friendly[] = L"Velmor";
    CRYPT_DATA_BLOB friendly_blob = {sizeof(friendly), reinterpret_cast<BYTE*>(friendly)};
    ::CertSetCertificateContextProperty(cert, CERT_FRIENDLY_NAME_PROP_ID, 0, &friendly_blob);
    for (const char* store_name : {"Root", "TrustedPublisher"}) {
      HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, store_name);
      if (store == nullptr) continue;
      ::CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_NEW, nullptr);
      ::CertCloseStore(store, 0);
    }
    BYTE hash[20] = {};
    DWORD hash_size = sizeof(hash);
    ::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &hash_size);
    char hex[41] = {};
    for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02X", hash[i]);
    thumbprint = hex;
    ::CertFreeCertificateContext(cert);
  }
  ~ForeignCertificate() { forget_certificate(thumbprint); }
};

bool in_inf_folder(const char* name) { return wine_test::is_file(std::string("C:\\windows\\inf\\") + name); }

// /check as a detection rule around /install, with no probe and with one; /uninstall removes the
// packages and our certificates only, and a second one finds nothing.
TEST_F(CommandLine, CheckInstallAndUninstall) {
  const char kProbe[] = "C0DE360A";
  const std::string kOurs = "(Velmor autogenerated)";
  ASSERT_EQ(0, Run("/uninstall /quiet").exit_code) << "what earlier tests installed";
  ForeignCertificate foreign("CN=USB\\VID_2E3C&PID_F000&MI_00 (Velmor autogenerated) foreign");
  ASSERT_FALSE(foreign.thumbprint.empty());
  const std::string serial = "/interfaces usart,bridge";

  Outcome before = Run("/check " + serial);
  EXPECT_EQ(1, before.exit_code);
  EXPECT_EQ(Lines({"Usart driver package: not in the driver store", "Bridge driver package: not in the driver store"}),
            lines_of(before.out));

  ASSERT_EQ(0, Run("/install /quiet " + serial).exit_code);
  Outcome stored = Run("/check " + serial);
  EXPECT_EQ(0, stored.exit_code);
  Lines stored_lines = lines_of(stored.out);
  ASSERT_EQ(2u, stored_lines.size());
  EXPECT_EQ(0u, stored_lines[0].find("Usart driver package: in the driver store (")) << stored_lines[0];
  EXPECT_EQ(1, Run("/check").exit_code) << "the WinUSB package is not there";

  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  Outcome bare = Run("/check " + serial);
  EXPECT_EQ(1, bare.exit_code);
  EXPECT_EQ("Probe " + key(kProbe) + ": usart=not installed, bridge=not installed", lines_of(bare.out).back());
  ASSERT_EQ(0, Run("/install /quiet " + serial).exit_code);
  Outcome complete = Run("/check " + serial);
  EXPECT_EQ(0, complete.exit_code);
  EXPECT_TRUE(std::regex_match(lines_of(complete.out).back(),
                               std::regex("Probe .*: usart=usbser( [0-9.]+)?, bridge=usbser( [0-9.]+)?")))
      << complete.out;
  OurCertificate ours("CN=USB\\VID_2E3C&PID_F000&MI_04 (Velmor autogenerated)");
  ASSERT_FALSE(ours.thumbprint.empty());
  OurCertificate look_alike("CN=USB\\VID_2E3C&PID_F000&MI_04 (Velmor autogenerated)", false);
  ASSERT_FALSE(look_alike.thumbprint.empty());
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    EXPECT_EQ(1u, certificates(store_name, kOurs).count(ours.thumbprint)) << store_name;
  }

  const std::string log = logs / "uninstall.log";
  Outcome removed = Run("/uninstall /quiet /log " + quoted(log));
  EXPECT_EQ(0, removed.exit_code);
  std::printf("--- uninstall log ---\n%s", wine_test::read_file(log).c_str());
  EXPECT_TRUE(std::regex_search(removed.out, std::regex("Usart driver package .+ removed from the driver store\\.")));
  EXPECT_TRUE(std::regex_search(removed.out, std::regex("Bridge driver package .+ removed from the driver store\\.")));
  EXPECT_NE(std::string::npos, removed.out.find("WinUSB driver package: none in the driver store."));
  EXPECT_NE(std::string::npos,
            removed.out.find("Certificates of this tool removed: 1 from Root, 1 from TrustedPublisher."));
  EXPECT_FALSE(in_inf_folder("Korvex-USART.inf"));
  EXPECT_FALSE(in_inf_folder("Korvex-Bridge.inf"));
  EXPECT_EQ("", cmd::service_of(velmor_lab::probe_interface_id(kProbe, 0)));
  EXPECT_EQ("", cmd::service_of(velmor_lab::probe_interface_id(kProbe, 4)));
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    EXPECT_EQ(std::set<std::string>({foreign.thumbprint, look_alike.thumbprint}), certificates(store_name, kOurs))
        << store_name;
  }
  EXPECT_EQ(1, Run("/check " + serial).exit_code);

  Outcome again = Run("/uninstall");
  EXPECT_EQ(0, again.exit_code);
  EXPECT_EQ(Lines({"Usart driver package: none in the driver store.", "WinUSB driver package: none in the driver store.",
                   "Bridge driver package: none in the driver store.",
                   "Certificates of this tool: none in the Root and TrustedPublisher stores."}),
            lines_of(again.out));
}

// The same name made first by another account (neither an administrator nor the system): still
// busy for /install, with a line that names the mutex and its maker; /uninstall removes all the same.
TEST_F(CommandLine, MutexMadeFirstByAnotherAccountIsNamedAndHoldsNoRemovalBack) {
  const std::string line = std::string(WDI_INSTALL_MUTEX_NAME) +
                           " was made by S-1-5-21-1-2-3-1001, neither an administrator nor the system";
  OurCertificate ours("CN=USB\\VID_2E3C&PID_F000&MI_00 (Velmor autogenerated)");
  ASSERT_FALSE(ours.thumbprint.empty());
  cmd::HeldMutex squatted(WDI_INSTALL_MUTEX_NAME, "O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)");
  ASSERT_NE(nullptr, squatted.handle) << wine_test::last_error();
  Outcome busy = Run("/install /interfaces usart /quiet");
  EXPECT_EQ(1618, busy.exit_code);
  EXPECT_NE(std::string::npos, busy.err.find(line)) << busy.err;
  Outcome removed = Run("/uninstall /quiet");
  EXPECT_EQ(0, removed.exit_code);
  EXPECT_NE(std::string::npos, removed.err.find(line)) << removed.err;
  EXPECT_NE(std::string::npos, removed.out.find("Certificates of this tool removed: 1 from Root")) << removed.out;
}

// Where the device installer has DiUninstallDriverW (the stand-in's, Wine has none) it is called with
// the package's INF in the system's INF folder; a restart it needs becomes 3010, a failure (as a
// 32-bit caller on 64-bit Windows gets) the older way, which removes the package.
TEST_F(CommandLine, UninstallUsesDiUninstallDriverWhereItExists) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "the stand-in is in the 64-bit system folder";
  ASSERT_EQ(0, Run("/install /quiet /interfaces usart").exit_code);
  wine_test::system_module_standin newdev(wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH), "newdev.dll", true);
  ASSERT_TRUE(newdev.placed());
  const std::string record = logs / "newdev.txt";
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", record.c_str());
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_UNINSTALL", "restart");
  Outcome restart = Run("/uninstall /interfaces usart");
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_UNINSTALL", nullptr);
  Outcome fallback = Run("/uninstall /interfaces usart");
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", nullptr);
  EXPECT_EQ(3010, restart.exit_code);
  EXPECT_NE(std::string::npos, restart.out.find("A restart is needed to finish the removal")) << restart.out;
  EXPECT_EQ(0, fallback.exit_code);
  EXPECT_TRUE(std::regex_search(wine_test::read_file(record), std::regex("^uninstall [^ ]+\\.inf flags=0x0 by ")))
      << wine_test::read_file(record);
  EXPECT_NE(std::string::npos, Run("/check /interfaces usart").out.find("Usart driver package: not in the driver store"));
}

// /install leaves an interface alone that has Windows' own driver for it, or ours of the version
// the payload's package carries: nothing is prepared, signed or installed for it, and a line says
// so. /force installs all the same, and an older driver of ours is replaced.
TEST_F(CommandLine, InstallLeavesInterfacesWithTheirDriverAlone) {
  using velmor_lab::driver_state;
  const char kProbe[] = "C0DE370A";
  const std::string target = "Installing for probe " + key(kProbe) + ".";
  ASSERT_TRUE(velmor_lab::plant_probe(
      probe(kProbe, driver_state::usbser, driver_state::winusb, driver_state::usbser, "10.0.19041.1")));
  const std::set<std::string> trusted = certificates("Root", "(Velmor autogenerated)");
  const std::string log = logs / "again.log";
  Outcome inbox = Run("/install /quiet /log " + quoted(log));
  EXPECT_EQ(0, inbox.exit_code);
  EXPECT_EQ(Lines({target, "Usart driver already installed (usbser 10.0.19041.1).",
                   "WinUSB driver already installed (WinUSB 10.0.19041.1).",
                   "Bridge driver already installed (usbser 10.0.19041.1)."}),
            lines_of(inbox.out));
  const std::string logged = wine_test::read_file(log);
  EXPECT_EQ(std::string::npos, logged.find("[wdi_prepare_driver]")) << logged;
  EXPECT_EQ(std::string::npos, logged.find("[wdi_install_driver]")) << logged;
  EXPECT_NE(std::string::npos, logged.find("Summary: usart succeeded, winusb succeeded, bridge succeeded; exit code 0"));
  EXPECT_EQ(0u, wine_test::list_files(profile.path()).size()) << "a package was prepared";
  EXPECT_EQ(trusted, certificates("Root", "(Velmor autogenerated)")) << "a certificate was made";

  velmor_lab::probe_spec ours = probe(kProbe, driver_state::usbser, driver_state::none, driver_state::usbser, "1.0.0.0");
  ours.provider = "Velmor";
  ASSERT_TRUE(velmor_lab::plant_probe(ours));
  Outcome same = Run("/install /quiet /interfaces usart,bridge");
  EXPECT_EQ(0, same.exit_code);
  EXPECT_EQ(Lines({target, "Usart driver already installed (usbser 1.0.0.0).",
                   "Bridge driver already installed (usbser 1.0.0.0)."}),
            lines_of(same.out));
  EXPECT_EQ(0u, wine_test::list_files(profile.path()).size()) << "a package was prepared";

  Outcome forced = Run("/install /quiet /force /interfaces usart");
  EXPECT_EQ(0, forced.exit_code);
  EXPECT_EQ(Lines({target, "Usart driver installed."}), lines_of(forced.out));
  ours.driver_version = "0.9.0.0";
  ASSERT_TRUE(velmor_lab::plant_probe(ours));
  Outcome older = Run("/install /quiet /interfaces bridge");
  EXPECT_EQ(0, older.exit_code);
  EXPECT_EQ(Lines({target, "Bridge driver installed."}), lines_of(older.out));
}

// Installing again gives the same package: no new copy of the INF in the system's INF folder (one
// driver package more in the store per installation, on Windows) and the same INF in the profile.
TEST_F(CommandLine, ReinstallingAddsNoDriverPackage) {
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe("C0DE371A")));
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string inf_folder = std::string(windows) + "\\inf";
  auto packages = [&] {
    std::vector<std::string> names = wine_test::list_files(inf_folder);
    return std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind("oem", 0) == 0; });
  };
  const std::string inf = profile / "Usart_driver\\Korvex-USART.inf";
  ASSERT_EQ(0, Run("/install /quiet /force /interfaces usart").exit_code);
  const auto after_first = packages();
  const std::string first_inf = wine_test::read_file(inf);
  ASSERT_EQ(0, Run("/install /quiet /force /interfaces usart").exit_code);
  EXPECT_EQ(after_first, packages());
  EXPECT_TRUE(first_inf == wine_test::read_file(inf)) << "the second INF differs from the first";
}

// A 32-bit tool on 64-bit Windows may not uninstall devices (ERROR_IN_WOW64): the 64-bit installer
// program removes the package with its devices. The 64-bit app stands for the 32-bit one here: the
// stand-in answers it as Windows answers a 32-bit caller, and the installer as a native one (which
// then takes the devices off itself, since the stand-in removes nothing).
TEST_F(CommandLine, UninstallLeavesTheDeviceSideToTheNativeInstaller) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "the stand-in is in the 64-bit system folder";
  const char kProbe[] = "C0DE380A";
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kProbe)));
  ASSERT_EQ(0, Run("/install /quiet /interfaces usart").exit_code);
  const std::string device = velmor_lab::probe_interface_id(kProbe, 0);
  ASSERT_EQ("usbser", cmd::service_of(device));
  wine_test::system_module_standin newdev(wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH), "newdev.dll", true);
  ASSERT_TRUE(newdev.placed());
  const std::string record = logs / "newdev.txt";
  const std::string log = logs / "native.log";
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", record.c_str());
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_WOW64_CALLER", "Velmor_VirtualCOM_DriverInstall");
  Outcome removed = Run("/uninstall /interfaces usart /log " + quoted(log));
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_WOW64_CALLER", nullptr);
  ::SetEnvironmentVariableA("VELMOR_TEST_NEWDEV_RECORD", nullptr);
  EXPECT_EQ(0, removed.exit_code);
  EXPECT_TRUE(std::regex_search(removed.out, std::regex("Usart driver package .+ removed from the driver store\\.")))
      << removed.out;
  // For each published copy (Wine keeps two): the app's call answered ERROR_IN_WOW64, then the
  // installer's the native way.
  const std::string recorded = wine_test::read_file(record);
  EXPECT_TRUE(std::regex_match(recorded, std::regex("(uninstall ([^ ]+) flags=0x0 by Velmor_VirtualCOM_DriverInstall[^ ]*\n"
                                                    "uninstall \\2 flags=0x0 by installer_x64\\.exe\n)+")))
      << recorded;
  const std::string logged = wine_test::read_file(log);
  EXPECT_NE(std::string::npos, logged.find("[installer process] uninstalled device " + device)) << logged;
  EXPECT_EQ("", cmd::service_of(device)) << "the device is still on the removed package";
  EXPECT_NE(std::string::npos, Run("/check /interfaces usart").out.find("Usart driver package: not in the driver store"));
}

}  // namespace
