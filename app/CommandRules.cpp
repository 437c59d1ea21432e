// The window-free decisions of the install and extract commands.
#include "app/CommandRules.h"

#include <cstring>

#include "engine/engine.h"

namespace {

constexpr unsigned kIconInformation = 0x40;
constexpr unsigned kIconError = 0x10;
constexpr unsigned kRetryPauseMs = 2000;
constexpr int kAttempts = 3;

std::vector<CommandBox> Report(const InterfaceResults& results, const char* success,
                               const char* CommandInterface::*prefix) {
  std::vector<CommandBox> boxes;
  for (const CommandInterface& row : kInterfaces) {
    if (results[row] == 0) continue;
    boxes.push_back({std::string(row.*prefix) + wdi_status_text(results[row]), kIconError});
  }
  if (boxes.empty()) boxes.push_back({success, kIconInformation});
  return boxes;
}

}  // namespace

int ProfilePackageFolder(const char* profile, unsigned long read_result, const char* name, std::string* folder) {
  // An unset or empty value would put the package at the root of the current drive, and a cut one
  // into some other folder: neither is where the user's packages belong.
  // A value that did not fit leaves the buffer as it was: the size decides before the contents.
  if (read_result >= kProfileBufferSize) return WDI_ST_OVERRUN;
  if (read_result == 0 || profile == nullptr || profile[0] == '\0') return WDI_ST_MISSING;
  *folder = std::string(profile, std::strlen(profile)) + "\\" + name;
  return WDI_ST_OK;
}

int RunAttempts(const std::function<int()>& attempt, const std::function<void(unsigned)>& pause) {
  int status = WDI_ST_OK;
  for (int i = 0; i < kAttempts; ++i) {
    status = attempt();
    if (status == WDI_ST_OK) break;
    pause(kRetryPauseMs);
  }
  return status;
}

InterfaceResults InstallInOrder(const std::function<bool(const CommandInterface&)>& chosen,
                              const std::function<int(const CommandInterface&)>& attempt,
                              const std::function<void(unsigned)>& pause,
                              const std::function<void(const CommandInterface&, int)>& done) {
  InterfaceResults results;
  for (const CommandInterface* next : kInstallOrder) {
    const CommandInterface& row = *next;  // the callbacks take a row
    if (!chosen(row)) continue;
    results[row] = RunAttempts([&] { return attempt(row); }, pause);
    if (done) done(row, results[row]);
  }
  return results;
}

bool GenericIdByVersion(unsigned long major, unsigned long minor) {
  return major > 6 || (major == 6 && minor >= 1);
}

bool IsMsCompatibleId(const char* compatible_id) {
  static const char kPrefix[] = "USB\\MS_COMP_";
  return compatible_id != nullptr && std::strncmp(compatible_id, kPrefix, sizeof(kPrefix) - 1) == 0;
}

std::vector<CommandBox> InstallReport(const InterfaceResults& results) {
  return Report(results, "The driver was installed successfully.", &CommandInterface::install_failed);
}

std::vector<CommandBox> ExtractReport(const InterfaceResults& results) {
  return Report(results, "The driver was extract successfully.", &CommandInterface::extract_failed);
}
