// The window-free part of the unattended commands.
#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/engine.h"

const char kUsageText[] =
    "Velmor_VirtualCOM_DriverInstall.exe [command]\n"
    "\n"
    "Without a command the dialog opens. Commands and options start with / or -, in any case:\n"
    "  /list [/json]               one line per attached probe: its UID, the driver of\n"
    "                              interfaces 0 (usart), 3 (winusb) and 4 (bridge), and the\n"
    "                              COM port of each serial interface\n"
    "  /install [/interfaces LIST] [/force] [/quiet] [/log FILE]\n"
    "                              installs the drivers for the first attached probe, or, with\n"
    "                              none attached, for probes plugged in later; an interface that\n"
    "                              already has this tool's driver of this version, or Windows'\n"
    "                              own driver for it, is left alone (\"already installed\")\n"
    "    /force                    installs those too\n"
    "    /interfaces LIST          usart, winusb, bridge or 0, 3, 4, separated by commas\n"
    "                              (default: all three)\n"
    "    /quiet                    no window at all, not even the progress window\n"
    "  /check [/interfaces LIST] [/json]\n"
    "                              for detection rules: whether this tool's driver packages are\n"
    "                              in the driver store and every attached probe has its drivers;\n"
    "                              exit code 0 when all is there, 1 when not\n"
    "  /uninstall [/interfaces LIST] [/quiet] [/log FILE]\n"
    "                              removes this tool's driver packages from the driver store and\n"
    "                              the certificates it made from the Root and TrustedPublisher\n"
    "                              stores; the package folders in the profile stay\n"
    "  /extract [DIR] [/log FILE]  writes the three driver packages into DIR (default: the\n"
    "                              current directory)\n"
    "  /json                       with /list and /check: one line of JSON instead, under\n"
    "                              2,048 characters\n"
    "  /log FILE                   appends every log line of the run with a time stamp, and a\n"
    "                              summary, to FILE (UTF-8); also with /list and /check.\n"
    "                              Unattended /install and /uninstall runs without it write\n"
    "                              %WINDIR%\\Logs\\Software\\Velmor_VirtualCOM_DriverInstall.log\n"
    "                              (the previous run's kept as .log.1)\n"
    "  /? or /help                 this text\n"
    "\n"
    "With /quiet, or without an interactive desktop (the system account), nothing prompts and\n"
    "Windows is never restarted; each attempt at an interface is then stopped after 2 minutes\n"
    "(it counts as failed, the other interfaces are still tried). /install ends within 8\n"
    "minutes in all. On Windows for ARM64 and in S mode /install installs nothing (exit code\n"
    "1603).\n"
    "\n"
    "Ctrl+C, Ctrl+Break or closing the console stops /install, /uninstall and /extract after the\n"
    "step under way: a running installation is ended and undone (exit code 1602).\n"
    "\n"
    "Exit codes:\n"
    "  0     every requested interface (or package) succeeded\n"
    "  3010  succeeded; a restart is needed to finish\n"
    "  1618  another copy of this tool, or a device installation in progress, kept it busy:\n"
    "        try again later\n"
    "  1603  at least one failed; the output and the log say which, and why\n"
    "  1639  bad command line, or the log file cannot be opened: nothing was done\n"
    "  1602  stopped from the console; the output and the log say how far it got\n"
    "  1     /check: something requested is not there\n";

const char kNoProbeLine[] = "No probe attached.";
const char kDefaultLogFolder[] = "Logs\\Software";
const char kDefaultLogName[] = "Velmor_VirtualCOM_DriverInstall.log";
const char kLogFullLine[] = "The log file is full: further lines are left out (the summary follows).";

bool UsesDefaultLog(const CommandLineRequest& request, bool (*interactive_desktop)()) {
  if (!request.log_file.empty()) return false;
  if (request.action != CommandAction::kInstall && request.action != CommandAction::kUninstall) return false;
  return request.quiet || !interactive_desktop();
}

namespace {

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

enum class Switch {
  kNone, kUnknown, kHelp, kList, kInstall, kExtract, kCheck, kUninstall, kInterfaces, kQuiet, kLog, kJson, kForce
};

// What an argument is as a switch: kNone for a plain argument, kUnknown for an unknown switch.
Switch SwitchOf(const std::string& argument) {
  if (argument.empty() || (argument[0] != '/' && argument[0] != '-')) return Switch::kNone;
  const std::string name = Lower(argument.substr(1));
  static const struct {
    const char* name;
    Switch value;
  } kKnown[] = {{"?", Switch::kHelp},          {"help", Switch::kHelp},   {"list", Switch::kList},
                {"install", Switch::kInstall}, {"extract", Switch::kExtract}, {"interfaces", Switch::kInterfaces},
                {"quiet", Switch::kQuiet},     {"log", Switch::kLog},         {"check", Switch::kCheck},
                {"uninstall", Switch::kUninstall}, {"json", Switch::kJson}, {"force", Switch::kForce}};
  for (const auto& known : kKnown) {
    if (name == known.name) return known.value;
  }
  return Switch::kUnknown;
}

bool IsAction(Switch s) {
  return s == Switch::kList || s == Switch::kInstall || s == Switch::kExtract || s == Switch::kCheck ||
         s == Switch::kUninstall;
}

CommandLineRequest Bad(const std::string& why) {
  CommandLineRequest request;
  request.error = why;
  return request;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false;
  bool in_argument = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_argument = true;  // "" is an empty argument
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_argument) arguments.push_back(current);
      current.clear();
      in_argument = false;
    } else {
      current.push_back(c);
      in_argument = true;
    }
  }
  if (in_argument) arguments.push_back(current);
  return arguments;
}

bool ParseInterfaceList(const std::string& text, CommandLineRequest* request, std::string* error) {
  PerInterface<bool> chosen;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string item = Lower(Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (item.empty()) {
      *error = "empty interface name in \"" + text + "\"";
      return false;
    }
    const CommandInterface* named = nullptr;
    for (const CommandInterface& row : kInterfaces) {
      if (item == row.name || item == std::to_string(row.number)) named = &row;
    }
    if (named == nullptr) {
      *error = "unknown interface \"" + item + "\"";
      return false;
    }
    chosen[*named] = true;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  request->interfaces = chosen;
  return true;
}

namespace {

CommandLineRequest ParseArguments(const std::vector<std::string>& arguments) {
  CommandLineRequest request;
  if (arguments.empty()) return request;
  for (const std::string& argument : arguments) {
    if (SwitchOf(argument) == Switch::kHelp) {
      request.action = CommandAction::kHelp;
      return request;
    }
  }

  std::vector<Switch> seen;
  Switch action = Switch::kNone;
  std::string interfaces;
  bool has_directory = false;
  std::string plain;  // the first argument that is no switch
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    Switch s = SwitchOf(argument);
    if (s == Switch::kUnknown) return Bad("unknown switch " + argument);
    if (s == Switch::kNone) {
      if (has_directory) return Bad("unexpected argument \"" + argument + "\"");
      has_directory = true;
      plain = argument;
      continue;
    }
    for (Switch earlier : seen) {
      if (earlier == s) return Bad(argument + " is given twice");
    }
    seen.push_back(s);
    if (IsAction(s)) {
      if (action != Switch::kNone) return Bad("only one of /list, /install, /check, /uninstall and /extract can be given");
      action = s;
    } else if (s == Switch::kQuiet) {
      request.quiet = true;
    } else if (s == Switch::kJson) {
      request.json = true;
    } else if (s == Switch::kForce) {
      request.force = true;
    } else {
      // /interfaces and /log take the next argument: not a switch of ours, nor anything starting
      // with "/" (a forgotten value); a file name may start with "-".
      if (i + 1 >= arguments.size() || arguments[i + 1].compare(0, 1, "/") == 0 ||
          (SwitchOf(arguments[i + 1]) != Switch::kNone && SwitchOf(arguments[i + 1]) != Switch::kUnknown)) {
        return Bad(argument + " needs a value");
      }
      const std::string& value = arguments[++i];
      if (value.empty()) return Bad(argument + " needs a value");
      if (s == Switch::kLog) {
        request.log_file = value;
      } else {
        interfaces = value;
      }
    }
  }

  switch (action) {
    case Switch::kList: request.action = CommandAction::kList; break;
    case Switch::kInstall: request.action = CommandAction::kInstall; break;
    case Switch::kExtract: request.action = CommandAction::kExtract; break;
    case Switch::kCheck: request.action = CommandAction::kCheck; break;
    case Switch::kUninstall: request.action = CommandAction::kUninstall; break;
    default: return Bad("no command: give /list, /install, /check, /uninstall or /extract");
  }
  if (has_directory) {
    if (request.action != CommandAction::kExtract) return Bad("unexpected argument \"" + plain + "\"");
    if (plain.empty()) return Bad("the folder for /extract is empty");
    request.directory = plain;
  }
  if (request.json && request.action != CommandAction::kList && request.action != CommandAction::kCheck) {
    return Bad("/json goes with /list and /check only");
  }
  if (request.force && request.action != CommandAction::kInstall) return Bad("/force goes with /install only");
  if (!interfaces.empty()) {
    if (request.action != CommandAction::kInstall && request.action != CommandAction::kCheck &&
        request.action != CommandAction::kUninstall) {
      return Bad("/interfaces goes with /install, /check and /uninstall only");
    }
    std::string why;
    if (!ParseInterfaceList(interfaces, &request, &why)) return Bad(why);
  }
  return request;
}

}  // namespace

CommandLineRequest ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLineRequest request = ParseArguments(arguments);
  // A bad command line given with /quiet still must not open a box.
  for (const std::string& argument : arguments) {
    if (SwitchOf(argument) == Switch::kQuiet) request.quiet = true;
  }
  return request;
}

std::string DriverVersionText(uint64_t version) {
  char text[32];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", static_cast<unsigned>((version >> 48) & 0xFFFF),
                static_cast<unsigned>((version >> 32) & 0xFFFF), static_cast<unsigned>((version >> 16) & 0xFFFF),
                static_cast<unsigned>(version & 0xFFFF));
  return text;
}

namespace {

std::string DriverText(const InterfaceState& state) {
  std::string text = state.service;
  if (state.version != 0) text += " " + DriverVersionText(state.version);
  return text;
}

std::string DriverStateText(const InterfaceState& state) {
  if (state.installed && state.service != nullptr) return DriverText(state);
  if (state.service == nullptr || state.service[0] == '\0') return "not installed";
  return "not installed (driver " + DriverText(state) + ")";
}

std::string StateText(const InterfaceState& state) {
  if (!state.present) return "absent";
  std::string text = DriverStateText(state);
  if (state.port != nullptr && state.port[0] != '\0') text += std::string(" on ") + state.port;
  return text;
}

// A JSON string of printable ASCII: a device's registry values come in the machine's code page,
// which a JSON parser would take for broken UTF-8.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c >= 0x20 && c < 0x7F) {
      out += c;
    } else {
      out += '?';
    }
  }
  return out + "\"";
}

std::string InterfaceJson(const InterfaceState& state) {
  if (!state.present) return "null";
  std::string json = std::string("{\"ok\":") + (state.installed && state.service != nullptr ? "true" : "false");
  if (state.service != nullptr && state.service[0] != '\0') json += ",\"driver\":" + JsonString(DriverText(state));
  if (state.port != nullptr && state.port[0] != '\0') json += ",\"port\":" + JsonString(state.port);
  return json + "}";
}

std::string ProbeJson(const JsonProbe& probe) {
  std::string json = "{\"uid\":" + JsonString(probe.uid);
  for (const CheckedInterface& checked : probe.interfaces) {
    json += std::string(",\"") + checked.row->name + "\":" + InterfaceJson(checked.state);
  }
  return json + "}";
}

// `head` + the probes + "]}" within the limit; the probes that do not fit are counted in "more".
std::string WithProbes(const std::string& head, const std::vector<JsonProbe>& probes) {
  std::string json = head + "\"probes\":[";
  size_t listed = 0;
  for (const JsonProbe& probe : probes) {
    std::string item = (listed > 0 ? "," : "") + ProbeJson(probe);
    // Room kept for the closing and for the count of those left out.
    if (json.size() + item.size() + std::strlen("],\"more\":000000}") > kJsonLimit) break;
    json += item;
    ++listed;
  }
  json += "]";
  if (listed < probes.size()) json += ",\"more\":" + std::to_string(probes.size() - listed);
  return json + "}";
}

std::string StatusWithCode(int status) {
  return std::string(wdi_status_text(status)) + " (status " + std::to_string(status) + ")";
}

}  // namespace

std::string ListJson(const std::vector<JsonProbe>& probes) { return WithProbes("{", probes); }

std::string CheckJson(bool complete, const std::vector<JsonPackage>& packages, const std::vector<JsonProbe>& probes) {
  std::string head = std::string("{\"complete\":") + (complete ? "true" : "false") + ",\"packages\":{";
  for (size_t i = 0; i < packages.size(); ++i) {
    head += std::string(i > 0 ? "," : "") + "\"" + packages[i].row->name + "\":";
    if (!packages[i].readable) {
      head += "null";
      continue;
    }
    head += "[";
    for (size_t j = 0; j < packages[i].published.size(); ++j) {
      head += (j > 0 ? "," : "") + JsonString(packages[i].published[j]);
    }
    head += "]";
  }
  return WithProbes(head + "},", probes);
}

std::string ErrorJson(const std::string& text) { return "{\"error\":" + JsonString(text) + "}"; }

std::string PolicyRefusalLine(const std::vector<const CommandInterface*>& refused) {
  std::string ids;
  for (size_t i = 0; i < refused.size(); ++i) {
    char id[40];
    std::snprintf(id, sizeof(id), "USB\\VID_%04X&PID_%04X&MI_%02u", kProbeVendorId, kProbeProductId,
                  static_cast<unsigned>(refused[i]->number));
    ids += (i == 0 ? "" : i + 1 == refused.size() ? " and " : ", ") + std::string(id);
  }
  return std::string("A device installation policy of this PC forbids the installation: an administrator must ") +
         "allow the hardware ID" + (refused.size() == 1 ? " " : "s ") + ids +
         " (Device Installation Restrictions: \"Allow installation of devices that match any of these device IDs\").";
}

std::string ListFailureLine(int status) {
  if (status == WDI_ST_IN_USE) {
    return "The devices cannot be listed: another copy of this tool keeps listing them. " + StatusWithCode(status);
  }
  return "The devices cannot be listed: " + StatusWithCode(status);
}

std::string TargetLine(size_t count, const std::string& uid) {
  if (count == 0) return "No probe attached: installing for probes plugged in later.";
  std::string line = "Installing for probe " + uid;
  if (count > 1) line += ", the first of " + std::to_string(count) + " attached probes";
  return line + ".";
}

bool AlreadyInstalled(const InterfaceState& state, bool own_package, uint64_t package_version) {
  if (!state.present || !state.installed || state.service == nullptr) return false;
  if (!own_package) return true;
  return package_version != 0 && state.version == package_version;
}

std::string AlreadyInstalledLine(const CommandInterface& row, const InterfaceState& state) {
  return std::string(row.label) + " already installed (" + DriverText(state) + ").";
}

std::string InstallLine(const CommandInterface& row, int status) {
  if (status == WDI_ST_OK) return std::string(row.label) + " installed.";
  return row.install_failed + StatusWithCode(status);
}

std::string ExtractLine(const CommandInterface& row, int status, const std::string& folder) {
  if (status == WDI_ST_OK) return std::string(row.label) + " extracted to " + folder;
  return row.extract_failed + StatusWithCode(status);
}

int ExitCodeFor(const std::vector<int>& statuses, bool restart_needed) {
  bool failed = false;
  for (int status : statuses) {
    if (status == WDI_ST_OK) continue;
    if (status != WDI_ST_IN_USE && status != WDI_ST_INSTALL_PENDING) return kExitFailed;
    failed = true;
  }
  if (failed) return kExitBusy;
  return restart_needed ? kExitRestart : kExitSuccess;
}

unsigned RemainingRunMs(unsigned elapsed_ms, unsigned limit_ms) {
  return elapsed_ms >= limit_ms ? 0 : limit_ms - elapsed_ms;
}

std::string PlatformRefusalLine(unsigned native_machine, bool s_mode) {
  const unsigned kArm64 = 0xAA64;  // IMAGE_FILE_MACHINE_ARM64
  const char* where = native_machine == kArm64 ? "Windows for ARM64" : s_mode ? "Windows in S mode" : nullptr;
  if (where == nullptr) return std::string();
  return std::string("Nothing installed: ") + where +
         " accepts only driver packages signed by Microsoft; the probe's serial ports and WinUSB interface are "
         "set up by Windows itself when the probe reports the standard class codes and compatible ID.";
}

const char kRestartLine[] = "A restart is needed to finish the installation; Windows was not restarted.";
const char kStoppedLine[] = "Stopped by a console control event.";

std::string TimeLimitLine(unsigned limit_ms) {
  return "The run's time limit of " + std::to_string(limit_ms / 1000) +
         " s cut it short: the interfaces not handled yet were not tried.";
}

std::string AttemptLimitLine(const CommandInterface& row, unsigned limit_ms) {
  return std::string(row.label) + ": the attempt did not end within " + std::to_string(limit_ms / 1000) +
         " s and was stopped (the device installer hung).";
}

std::string CheckPackageLine(const CommandInterface& row, const std::vector<std::string>& published) {
  std::string line = std::string(row.label) + " package: ";
  if (published.empty()) return line + "not in the driver store";
  line += "in the driver store (";
  for (size_t i = 0; i < published.size(); ++i) line += (i > 0 ? ", " : "") + published[i];
  return line + ")";
}

std::string ProbeLine(const std::string& uid, const std::vector<CheckedInterface>& interfaces) {
  std::string line = "Probe " + uid + ":";
  for (size_t i = 0; i < interfaces.size(); ++i) {
    line += std::string(i > 0 ? ", " : " ") + interfaces[i].row->name + "=" + StateText(interfaces[i].state);
  }
  return line;
}

bool ProbeComplete(const std::vector<CheckedInterface>& interfaces) {
  for (const CheckedInterface& checked : interfaces) {
    if (checked.state.present && !(checked.state.installed && checked.state.service != nullptr)) return false;
  }
  return true;
}

std::string UninstallLine(const CommandInterface& row, const std::string& published, int status) {
  std::string line = std::string(row.label) + " package";
  if (published.empty()) return line + ": none in the driver store.";
  if (status == WDI_ST_OK) return line + " " + published + " removed from the driver store.";
  return line + " " + published + " could not be removed: " + StatusWithCode(status);
}

std::string CertificatesLine(int root, int trusted_publisher) {
  auto part = [](int count, const char* store) {
    if (count < 0) return std::string(store) + " store not readable";
    return std::to_string(count) + " from " + store;
  };
  if (root == 0 && trusted_publisher == 0) {
    return "Certificates of this tool: none in the Root and TrustedPublisher stores.";
  }
  return "Certificates of this tool removed: " + part(root, "Root") + ", " + part(trusted_publisher, "TrustedPublisher") +
         ".";
}

std::string SummaryLine(const std::string& details, int exit_code) {
  return "Summary: " + details + "; exit code " + std::to_string(exit_code);
}

std::string ResultsDetails(const std::vector<std::pair<const CommandInterface*, int>>& results) {
  std::string details;
  for (const auto& result : results) {
    if (!details.empty()) details += ", ";
    details += result.first->name;
    details += result.second == WDI_ST_OK ? " succeeded" : " failed (" + std::to_string(result.second) + ")";
  }
  return details.empty() ? "nothing to do" : details;
}

std::string LogFileLines(const LogStamp& stamp, const std::string& text) {
  char prefix[40];
  std::snprintf(prefix, sizeof(prefix), "%04u-%02u-%02u %02u:%02u:%02u.%03u ", stamp.year % 10000, stamp.month % 100,
                stamp.day % 100, stamp.hour % 100, stamp.minute % 100, stamp.second % 100, stamp.milliseconds % 1000);
  std::string lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines += prefix + text.substr(start, end - start) + "\r\n";
    start = end + 1;
  }
  return lines;
}
