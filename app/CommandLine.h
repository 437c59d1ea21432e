// The unattended use of the program: started with arguments it lists, installs or extracts without
// the dialog. Here is what needs no window: splitting and reading the command line, the usage
// text, the lines it prints and logs, and the exit codes. No Windows calls: host tests use it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "app/CommandRules.h"

enum class CommandAction { kDialog, kHelp, kList, kInstall, kExtract, kCheck, kUninstall };

struct CommandLineRequest {
  CommandAction action = CommandAction::kDialog;
  PerInterface<bool> interfaces = PerInterface<bool>::Filled(true);  // the interfaces to handle
  bool quiet = false;
  bool json = false;      // /list and /check: one line of JSON instead of the text lines
  bool force = false;     // /install: also the interfaces that already have their driver
  std::string log_file;   // empty: no log file
  std::string directory;  // extract target; empty: the current directory
  std::string error;      // not empty: a bad command line, and why
};

// Exit codes of the unattended commands, those of the Windows installer that deployment systems
// act on.
enum : int {
  kExitSuccess = 0,     // every requested interface (or package) succeeded
  kExitRestart = 3010,  // succeeded; a restart is needed to finish
  kExitBusy = 1618,     // another copy of the tool, or a device installation in progress: try later
  kExitFailed = 1603,   // at least one failed
  kExitUsage = 1639,    // bad command line, or the log file cannot be opened: nothing was done
  kExitStopped = 1602,  // stopped from its console (Ctrl+C, Ctrl+Break, closed): the step under way ended
  kExitMissing = 1      // /check: something requested is not there
};

// The whole unattended /install or /uninstall ends within this bound, well inside the 600 s a
// startup script is given.
constexpr unsigned kRunLimitMs = 480000;
// Unattended, one attempt at one interface ends within this bound (inside the run's): a device
// installer that hangs on one interface leaves time for the others.
constexpr unsigned kAttemptLimitMs = 120000;
// How long an installation waits for device installations already in progress.
constexpr unsigned kPendingWaitMs = 20000;

// What is left of the run's time at `elapsed_ms`; 0 once the bound is reached.
unsigned RemainingRunMs(unsigned elapsed_ms, unsigned limit_ms = kRunLimitMs);

extern const char kUsageText[];

// The arguments of a command line, the program name first. Blanks and tabs separate arguments
// outside double quotes; a quote only opens or closes quoting and is dropped. Backslashes are kept
// as they are, so that a quoted folder may end in one ("C:\Deploy\"): no Windows path holds a quote.
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// Reads the arguments after the program name (UTF-8). Switches start with "/" or "-" and ignore
// case; each may be given once. No arguments: the dialog. "/?" or "/help" anywhere: the usage.
CommandLineRequest ParseCommandLine(const std::vector<std::string>& arguments);

// "usart,winusb,bridge" or "0,3,4" (names or numbers of rows, any mix and case, blanks around them
// allowed) into the request's interfaces; false with `error` set for an empty list or item or an unknown name.
bool ParseInterfaceList(const std::string& text, CommandLineRequest* request, std::string* error);

// The driver state of one interface as the dialog judges it.
struct InterfaceState {
  bool present;
  bool installed;       // the expected service
  const char* service;  // the device's service name, null for none
  uint64_t version;     // the driver's version, four 16-bit parts; 0 when unknown
  const char* port = nullptr;  // the COM port of a serial interface ("COM3"), null for none
};

// "1.0.0.1" from the packed driver version.
std::string DriverVersionText(uint64_t version);

extern const char kNoProbeLine[];
// The device list could not be had.
std::string ListFailureLine(int status);
// Which probe /install works for: the first of `count` attached probes, whose UID is `uid`.
std::string TargetLine(size_t count, const std::string& uid);

// Whether /install (without /force) leaves an interface alone: it has the driver the row names,
// and that is either Windows' own (`own_package` false: not from a package of ours) or ours of the
// version the payload's package carries (`package_version`; an unknown version is never the same).
bool AlreadyInstalled(const InterfaceState& state, bool own_package, uint64_t package_version);
// "Usart driver already installed (usbser 10.0.19041.1)."
std::string AlreadyInstalledLine(const CommandInterface& row, const InterfaceState& state);

// The line of one interface's install or extract outcome; failures carry the dialog's box text.
std::string InstallLine(const CommandInterface& row, int status);
std::string ExtractLine(const CommandInterface& row, int status, const std::string& folder);

// The exit code of a command whose requested parts ended with these statuses: 0 (3010 when a
// restart is needed), 1618 when every failure was another copy at work or pending installations
// (-6, -9), else 1603.
int ExitCodeFor(const std::vector<int>& statuses, bool restart_needed = false);

// Where Windows accepts only driver packages signed by Microsoft: ARM64 (by the native machine,
// an IMAGE_FILE_MACHINE_* value, 0 when unknown) and S mode. Empty when the tool can install.
std::string PlatformRefusalLine(unsigned native_machine, bool s_mode);
// A device installation policy refused the installation of these interfaces: one line naming the
// hardware IDs an administrator must allow ("USB\VID_2E3C&PID_F000&MI_00", ...).
std::string PolicyRefusalLine(const std::vector<const CommandInterface*>& refused);
// The line that says a restart is needed, and the one that says the run's bound cut it short.
extern const char kRestartLine[];
// A console control event stopped /install, /uninstall or /extract between two steps.
extern const char kStoppedLine[];
std::string TimeLimitLine(unsigned limit_ms);
// An attempt at `row` ran past its bound of `limit_ms` and was stopped.
std::string AttemptLimitLine(const CommandInterface& row, unsigned limit_ms);

// /check: one line per requested package ("<label> package: in the driver store (oem3.inf)" or
// "<label> package: not in the driver store").
std::string CheckPackageLine(const CommandInterface& row, const std::vector<std::string>& published);
// The line of a probe in /list (every interface) and /check (the requested ones), in the install
// order: "Probe <uid>: usart=<state>, winusb=<state>, bridge=<state>", a state being
// "<service> <version>", "not installed", "not installed (driver <service> <version>)" or "absent",
// followed by " on COM3" when the interface has a COM port.
struct CheckedInterface {
  const CommandInterface* row;
  InterfaceState state;
};
std::string ProbeLine(const std::string& uid, const std::vector<CheckedInterface>& interfaces);
// True when every present interface among them has its expected driver.
bool ProbeComplete(const std::vector<CheckedInterface>& interfaces);

// /json: the report of /list or /check as one line of well-formed JSON of at most kJsonLimit
// characters, so that a script's output cut at 2,048 characters still parses. Eight probes always
// fit; probes beyond what fits are only counted ("more"). Interfaces not requested are left out,
// an absent one is null, else {"ok":<has the expected driver>, "driver":"<service> <version>",
// "port":"COM3"} with driver and port only when there are. Strings keep printable ASCII; anything
// else becomes "?".
constexpr size_t kJsonLimit = 2047;
struct JsonProbe {
  std::string uid;
  std::vector<CheckedInterface> interfaces;
};
// /check's packages: the INF names in the driver store, or unreadable (null in the JSON).
struct JsonPackage {
  const CommandInterface* row;
  bool readable;
  std::vector<std::string> published;
};
// {"probes":[{"uid":"...","usart":...,"winusb":...,"bridge":...}, ...]}
std::string ListJson(const std::vector<JsonProbe>& probes);
// {"complete":true,"packages":{"usart":["oem12.inf"],...},"probes":[...]}
std::string CheckJson(bool complete, const std::vector<JsonPackage>& packages, const std::vector<JsonProbe>& probes);
// {"error":"<text>"}: the list could not be had.
std::string ErrorJson(const std::string& text);

// /uninstall: the outcome for one package (`published` empty: none was found) and for the
// certificates of the two stores (negative: the store could not be read).
std::string UninstallLine(const CommandInterface& row, const std::string& published, int status);
std::string CertificatesLine(int root, int trusted_publisher);

// The closing summary of a run: "Summary: <details>; exit code <n>".
std::string SummaryLine(const std::string& details, int exit_code);
// "usart succeeded, winusb failed (-6)" for the interfaces a command handled, in that order.
std::string ResultsDetails(const std::vector<std::pair<const CommandInterface*, int>>& results);

// An unattended /install or /uninstall (/quiet, or no interactive desktop) given no /log leaves its
// log in the Windows folder's "Logs\Software", where management tools collect logs: one file of the
// tool, the previous run's kept beside it with ".1" added, each at most kDefaultLogBytes. /list and
// /check never write it: detection rules run them every hour, which would push the installation's
// log out.
extern const char kDefaultLogFolder[];  // below the Windows folder
extern const char kDefaultLogName[];
constexpr unsigned kDefaultLogBytes = 1024 * 1024;
// `interactive_desktop` is asked only when it matters (it loads the window modules).
bool UsesDefaultLog(const CommandLineRequest& request, bool (*interactive_desktop)());
// The last line a bounded log file gets when further lines no longer fit.
extern const char kLogFullLine[];

// A local time with milliseconds.
struct LogStamp {
  unsigned year, month, day, hour, minute, second, milliseconds;
};

// The text as log file lines: each of its lines (split at line ends, empty ones dropped) behind
// "YYYY-MM-DD hh:mm:ss.mmm ", each ending in CR LF. Empty when the text has no line.
std::string LogFileLines(const LogStamp& stamp, const std::string& text);
