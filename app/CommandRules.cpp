// The window-free decisions of the install and extract commands.
#include "app/CommandRules.h"

#include <cstring>
#include <utility>

#include "engine/status.h"

namespace {

constexpr unsigned kIconInformation = 0x40;
constexpr unsigned kIconError = 0x10;
constexpr unsigned kRetryPauseMs = 2000;
constexpr int kAttempts = 3;
// The engine's driver kinds (its preparation header needs Windows).
constexpr int32_t kDriverKindWinusb = 0;
constexpr int32_t kDriverKindCdc = 3;

std::vector<CommandBox> Report(int usart, int bridge, int winusb, const char* success,
                               const char* CommandInterface::*prefix) {
  std::vector<CommandBox> boxes;
  if (usart == 0 && bridge == 0 && winusb == 0) {
    boxes.push_back({success, kIconInformation});
    return boxes;
  }
  const std::pair<int, const CommandInterface*> order[] = {
      {usart, &kUsartInterface}, {bridge, &kBridgeInterface}, {winusb, &kWinusbInterface}};
  for (const auto& entry : order) {
    if (entry.first == 0) continue;
    boxes.push_back({std::string(entry.second->*prefix) + wdi_status_text(entry.first), kIconError});
  }
  return boxes;
}

}  // namespace

const CommandInterface kUsartInterface = {
    0, &ProbeRecord::usart, "Korvex-USART", "Usart_driver", "Korvex-USART.inf", kDriverKindCdc,
    "Usart driver installation failed. ", "Usart driver was extract failed. ", "usart", "Usart driver", "usbser"};
const CommandInterface kBridgeInterface = {
    4, &ProbeRecord::bridge, "Korvex-Bridge", "Bridge_driver", "Korvex-Bridge.inf", kDriverKindCdc,
    "Bridge driver installation failed. ", "Bridge driver was extract failed. ", "bridge", "Bridge driver", "usbser"};
const CommandInterface kWinusbInterface = {
    3, &ProbeRecord::winusb, "Korvex-WinUSB", "WinUSB_driver", "Korvex-WinUSB.inf", kDriverKindWinusb,
    "WinUSB driver installation failed. ", "WinUSB driver was extract failed. ", "winusb", "WinUSB driver",
    "winusb"};

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

InstallResults InstallInOrder(const std::function<bool(const CommandInterface&)>& chosen,
                              const std::function<int(const CommandInterface&)>& attempt,
                              const std::function<void(unsigned)>& pause,
                              const std::function<void(const CommandInterface&, int)>& done) {
  InstallResults results;
  const std::pair<const CommandInterface*, int*> order[] = {
      {&kUsartInterface, &results.usart}, {&kWinusbInterface, &results.winusb}, {&kBridgeInterface, &results.bridge}};
  for (const auto& entry : order) {
    const CommandInterface& row = *entry.first;
    if (!chosen(row)) continue;
    *entry.second = RunAttempts([&] { return attempt(row); }, pause);
    if (done) done(row, *entry.second);
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

std::vector<CommandBox> InstallReport(int usart, int bridge, int winusb) {
  return Report(usart, bridge, winusb, "The driver was installed successfully.", &CommandInterface::install_failed);
}

std::vector<CommandBox> ExtractReport(int usart, int bridge, int winusb) {
  return Report(usart, bridge, winusb, "The driver was extract successfully.", &CommandInterface::extract_failed);
}
