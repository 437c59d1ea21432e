// The install and extract commands: prepare a driver package per interface and install it for the
// shown probe, or only write the three packages; then report in message boxes. The routines are
// shared with the command line (Routines.h).
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "app/CommandLine.h"
#include "app/CommandRules.h"
#include "app/DriverInstallDlg.h"
#include "app/Routines.h"
#include "engine/engine.h"
#include "win/handles.h"
#include "win/imports.h"

namespace {

const char kBoxCaption[] = "Driver Installation";

// The generic-ID rule by the version Windows reports to this program.
bool GenericIdForThisWindows() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);  // 148
  if (!::GetVersionExA(&info)) return false;
  return GenericIdByVersion(info.dwMajorVersion, info.dwMinorVersion);
}

void ShowBoxes(HWND owner, const std::vector<CommandBox>& boxes) {
  for (const CommandBox& box : boxes) ::MessageBoxA(owner, box.text.c_str(), kBoxCaption, MB_OK | box.icon);
}

void FillTemplateDevice(const CommandInterface& row, wdi_device_entry* device) {
  std::memset(device, 0, sizeof(*device));
  device->vendor_id = kProbeVendorId;
  device->product_id = kProbeProductId;
  device->is_interface = 1;
  device->interface_number = row.number;
  // The engine only reads the record; the text is a constant of this program.
  device->description = const_cast<char*>(row.description);
}

// The profile folder of this process's user, from its token: the environment's USERPROFILE is the
// caller's to set, and the tool runs elevated. The length read (as for ProfilePackageFolder): 0
// when unknown, kProfileBufferSize when it does not fit.
DWORD ReadUserProfile(wchar_t (&profile)[kProfileBufferSize]) {
  auto get_profile = velmor::imports::GetUserProfileDirectoryW();
  velmor::unique_handle token;
  if (get_profile == nullptr || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return 0;
  DWORD size = kProfileBufferSize;
  if (get_profile(token.get(), profile, &size)) return static_cast<DWORD>(std::wcslen(profile));
  return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? kProfileBufferSize : 0;
}

}  // namespace

// The command suites run a build of this program whose pauses are a tenth as long, so that they
// do not wait out every retry at full length; the shipped program is built without it.
#ifndef VELMOR_RETRY_PAUSE_DIVISOR
#define VELMOR_RETRY_PAUSE_DIVISOR 1
#endif

void PauseAfterAttempt(unsigned ms) { ::Sleep(ms / VELMOR_RETRY_PAUSE_DIVISOR); }

// Shortened alike in that build, so that a suite can show an attempt that hangs.
unsigned AttemptLimitMs() { return kAttemptLimitMs / VELMOR_RETRY_PAUSE_DIVISOR; }

int InstallPackage(const CommandInterface& row, const ProbeRecord* probe, wdi_device_entry* template_device,
                   const wdi_install_options* install_options, HANDLE stop) {
  FillTemplateDevice(row, template_device);
  engine_log_level = LOG_WARNING;

  // Read wide and handed on in UTF-8, as the engine reads every path: the 8-bit call would give
  // the ANSI code page's bytes of a non-ASCII profile name.
  wchar_t profile[kProfileBufferSize] = {};
  DWORD read = ReadUserProfile(profile);
  velmor::unique_malloc<char> profile_utf8(read > 0 && read < kProfileBufferSize ? utf16_to_utf8(profile) : nullptr);
  std::string folder;
  int status = ProfilePackageFolder(profile_utf8.get(), read, row.folder, &folder);
  if (status != WDI_ST_OK) {
    engine_log(LOG_ERROR, row.install_routine, "the user's profile folder is %s: no folder for the %s package",
               status == WDI_ST_OVERRUN ? "longer than 255 characters" : "unknown", row.folder);
    return status;
  }

  // The probe's own record when it has this interface.
  const ProbeInterfaceSlot* slot = probe != nullptr && (probe->*row.slot).present ? &(probe->*row.slot) : nullptr;
  wdi_prepare_options options = {};
  options.driver_kind = row.driver_kind;
  options.interface_guid = row.interface_guid;
  if (row.generic_id_rule) {
    options.generic_compatible_id = GenericIdForThisWindows() ? 1 : 0;
    // The probe's own compatible ID says more than the version does.
    if (slot != nullptr) options.generic_compatible_id = IsMsCompatibleId(slot->device.first_compatible_id) ? 1 : 0;
  }

  status = wdi_prepare_driver(template_device, folder.c_str(), row.inf_name, &options);
  if (status != WDI_ST_OK) return status;
  // Stopped while preparing: nothing is installed; the package goes with the next preparation or the process.
  if (stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return WDI_ST_CANCELLED;

  wdi_device_entry* device = slot != nullptr ? const_cast<wdi_device_entry*>(&slot->device) : template_device;
  return wdi_install_driver(device, folder.c_str(), row.inf_name, install_options);
}

int ExtractPackage(const CommandInterface& row, const char* folder, wdi_device_entry* template_device) {
  FillTemplateDevice(row, template_device);
  wdi_prepare_options options = {};
  options.driver_kind = row.driver_kind;
  options.interface_guid = row.interface_guid;
  if (row.generic_id_rule) options.generic_compatible_id = GenericIdForThisWindows() ? 1 : 0;
  engine_log_level = LOG_WARNING;
  return wdi_prepare_driver(template_device, folder, row.inf_name, &options);
}

HWND CVelmor_DFU_DriverInstallDlg::MainWindow() const {
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd != nullptr) return app->m_pMainWnd->GetSafeHwnd();
  return m_hWnd;
}

const ProbeRecord* CVelmor_DFU_DriverInstallDlg::SelectedProbe() const {
  for (const ProbeRecord& record : m_probes) {
    if (std::strcmp(ProbeUidOf(record).c_str(), m_selectedUid) == 0) return &record;
  }
  return nullptr;
}

int CVelmor_DFU_DriverInstallDlg::InstallInterface(const CommandInterface& row) {
  // The records' strings stay valid because no refresh runs while the install command holds
  // m_lock (see OnTimer).
  return InstallPackage(row, SelectedProbe(), &m_templateDevice, &m_installOptions);
}

int CVelmor_DFU_DriverInstallDlg::ExtractInterface(const CommandInterface& row) {
  // A bare name: the package lands under the current directory.
  return ExtractPackage(row, row.folder, &m_templateDevice);
}

void CVelmor_DFU_DriverInstallDlg::OnBnClickedInstall() {
  // Held through the installations and the closing boxes: the timer's refresh stays out until the
  // records handed to the engine are no longer needed.
  ::EnterCriticalSection(&m_lock);
  m_installOptions.owner_window = MainWindow();

  auto chosen = [this](const CommandInterface& row) { return (this->*MembersOf(row).check).SendMessage(BM_GETCHECK) != 0; };
  auto attempt = [this](const CommandInterface& row) { return (this->*MembersOf(row).install)(); };
  InterfaceResults results = InstallInOrder(chosen, attempt, PauseAfterAttempt, nullptr);

  ShowBoxes(m_installOptions.owner_window, InstallReport(results));
  ::LeaveCriticalSection(&m_lock);
}

void CVelmor_DFU_DriverInstallDlg::OnBnClickedExtract() {
  m_installOptions.owner_window = MainWindow();
  InterfaceResults results;
  for (const CommandInterface& row : kInterfaces) results[row] = (this->*MembersOf(row).extract)();
  ShowBoxes(m_installOptions.owner_window, ExtractReport(results));
}
