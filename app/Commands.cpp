// The install and extract commands: prepare a driver package per interface and install it for the
// shown probe, or only write the three packages; then report in message boxes.
#include <windows.h>

#include <cstring>
#include <string>

#include "app/CommandRules.h"
#include "app/DriverInstallDlg.h"
#include "engine/install.h"
#include "engine/log.h"
#include "engine/prepare.h"
#include "engine/status.h"
#include "engine/utf8.h"
#include "engine/win_raii.h"

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

}  // namespace

HWND CVelmor_DFU_DriverInstallDlg::MainWindow() const {
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd != nullptr) return app->m_pMainWnd->GetSafeHwnd();
  return m_hWnd;
}

void CVelmor_DFU_DriverInstallDlg::FillTemplateDevice(const CommandInterface& row) {
  std::memset(&m_templateDevice, 0, sizeof(m_templateDevice));
  m_templateDevice.vendor_id = kProbeVendorId;
  m_templateDevice.product_id = kProbeProductId;
  m_templateDevice.is_interface = 1;
  m_templateDevice.interface_number = row.number;
  // The engine only reads the record; the text is a constant of this program.
  m_templateDevice.description = const_cast<char*>(row.description);
}

const ProbeInterfaceSlot* CVelmor_DFU_DriverInstallDlg::SelectedSlot(const CommandInterface& row) const {
  for (const ProbeRecord& record : m_probes) {
    const ProbeInterfaceSlot& slot = record.*row.slot;
    if (slot.present && std::strcmp(ProbeUidOf(record).c_str(), m_selectedUid) == 0) return &slot;
  }
  return nullptr;
}

int CVelmor_DFU_DriverInstallDlg::InstallInterface(const CommandInterface& row, const char* caller) {
  FillTemplateDevice(row);
  engine_log_level = LOG_WARNING;

  // Read wide and handed on in UTF-8, as the engine reads every path: the 8-bit call would give
  // the ANSI code page's bytes of a non-ASCII profile name.
  wchar_t profile[kProfileBufferSize] = {};
  DWORD read = ::GetEnvironmentVariableW(L"USERPROFILE", profile, kProfileBufferSize);
  velmor::unique_malloc<char> profile_utf8(read > 0 && read < kProfileBufferSize ? utf16_to_utf8(profile) : nullptr);
  std::string folder;
  int status = ProfilePackageFolder(profile_utf8.get(), read, row.folder, &folder);
  if (status != WDI_ST_OK) {
    engine_log(LOG_ERROR, caller, "USERPROFILE is %s: no folder for the %s package",
               status == WDI_ST_OVERRUN ? "longer than 255 characters" : "not set", row.folder);
    return status;
  }

  wdi_prepare_options options = {};
  options.driver_kind = row.driver_kind;
  if (&row == &kWinusbInterface) {
    options.generic_compatible_id = GenericIdForThisWindows() ? 1 : 0;
    // The shown probe's own compatible ID says more than the version does.
    if (const ProbeInterfaceSlot* slot = SelectedSlot(row)) {
      options.generic_compatible_id = IsMsCompatibleId(slot->device.first_compatible_id) ? 1 : 0;
    }
  }

  status = wdi_prepare_driver(&m_templateDevice, folder.c_str(), row.inf_name, &options);
  if (status != WDI_ST_OK) return status;

  // The probe's own record when it has this interface; the copy's strings stay valid because no
  // refresh runs while the install command holds m_lock (see OnTimer).
  const ProbeInterfaceSlot* slot = SelectedSlot(row);
  wdi_device_entry* device = slot != nullptr ? const_cast<wdi_device_entry*>(&slot->device) : &m_templateDevice;
  return wdi_install_driver(device, folder.c_str(), row.inf_name, &m_installOptions);
}

int CVelmor_DFU_DriverInstallDlg::ExtractInterface(const CommandInterface& row) {
  FillTemplateDevice(row);
  wdi_prepare_options options = {};
  options.driver_kind = row.driver_kind;
  if (&row == &kWinusbInterface) options.generic_compatible_id = GenericIdForThisWindows() ? 1 : 0;
  engine_log_level = LOG_WARNING;
  // A bare name: the package lands under the current directory.
  return wdi_prepare_driver(&m_templateDevice, row.folder, row.inf_name, &options);
}

int CVelmor_DFU_DriverInstallDlg::InstallUsartDriver() { return InstallInterface(kUsartInterface, __func__); }
int CVelmor_DFU_DriverInstallDlg::InstallBridgeDriver() { return InstallInterface(kBridgeInterface, __func__); }
int CVelmor_DFU_DriverInstallDlg::InstallWinusbDriver() { return InstallInterface(kWinusbInterface, __func__); }
int CVelmor_DFU_DriverInstallDlg::ExtractUsartDriver() { return ExtractInterface(kUsartInterface); }
int CVelmor_DFU_DriverInstallDlg::ExtractBridgeDriver() { return ExtractInterface(kBridgeInterface); }
int CVelmor_DFU_DriverInstallDlg::ExtractWinusbDriver() { return ExtractInterface(kWinusbInterface); }

void CVelmor_DFU_DriverInstallDlg::OnBnClickedInstall() {
  // Held through the installations and the closing boxes: the timer's refresh stays out until the
  // records handed to the engine are no longer needed.
  ::EnterCriticalSection(&m_lock);
  m_installOptions.owner_window = MainWindow();

  auto pause = [](unsigned ms) { ::Sleep(ms); };
  auto attempts_if_checked = [&](CButton& box, int (CVelmor_DFU_DriverInstallDlg::*routine)()) {
    if (box.SendMessage(BM_GETCHECK) == 0) return static_cast<int>(WDI_ST_OK);
    return RunAttempts([&] { return (this->*routine)(); }, pause);
  };
  int usart = attempts_if_checked(m_usartCheck, &CVelmor_DFU_DriverInstallDlg::InstallUsartDriver);
  int winusb = attempts_if_checked(m_winusbCheck, &CVelmor_DFU_DriverInstallDlg::InstallWinusbDriver);
  int bridge = attempts_if_checked(m_bridgeCheck, &CVelmor_DFU_DriverInstallDlg::InstallBridgeDriver);

  ShowBoxes(m_installOptions.owner_window, InstallReport(usart, bridge, winusb));
  ::LeaveCriticalSection(&m_lock);
}

void CVelmor_DFU_DriverInstallDlg::OnBnClickedExtract() {
  m_installOptions.owner_window = MainWindow();
  int usart = ExtractUsartDriver();
  int bridge = ExtractBridgeDriver();
  int winusb = ExtractWinusbDriver();
  ShowBoxes(m_installOptions.owner_window, ExtractReport(usart, bridge, winusb));
}
