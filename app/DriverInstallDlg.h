// The main dialog: probe list, the selected probe's identity, interface check boxes, one status
// line per interface, and the install and extract commands.
#pragma once

#include <windows.h>

#include <vector>

#include "app/InstallOptions.h"
#include "app/ProbeRecord.h"
#include "app/resource.h"
#include "engine/engine.h"
#include "framework/Framework.h"

struct CommandInterface;

class CVelmor_DFU_DriverInstallDlg : public CDialogEx {
 public:
  explicit CVelmor_DFU_DriverInstallDlg(CWnd* parent = nullptr);
  ~CVelmor_DFU_DriverInstallDlg() override;

  enum { IDD = IDD_VELMOR_DFU_DRIVERINSTALL_DIALOG };

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  void OnSysCommand(UINT id, LPARAM lp);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnBnClickedInstall();
  void OnSelchangeProbe();
  void OnTimer(UINT_PTR id);
  void OnBnClickedExtract();
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctl_color);
  DECLARE_MESSAGE_MAP()

  // Marks this program for the compatibility assistant; true when the value was written.
  bool WriteCompatibilityMarker();
  // The probe view (ProbeView.cpp).
  void RefreshProbes();
  bool UpdateDriverStatus(ProbeRecord record);

  // The commands (Commands.cpp): each routine returns an engine status.
  int InstallUsartDriver();
  int InstallBridgeDriver();
  int InstallWinusbDriver();
  int ExtractUsartDriver();
  int ExtractBridgeDriver();
  int ExtractWinusbDriver();
  int InstallInterface(const CommandInterface& row);
  int ExtractInterface(const CommandInterface& row);
  // The record of the shown probe (by m_selectedUid), when there is one.
  const ProbeRecord* SelectedProbe() const;
  HWND MainWindow() const;

  // This dialog's members of one interface, bound to its row of the interface table
  // (DialogInterfaces.cpp): the handlers loop over the rows and reach the members through these.
  struct InterfaceMembers {
    int (CVelmor_DFU_DriverInstallDlg::*install)();
    int (CVelmor_DFU_DriverInstallDlg::*extract)();
    bool CVelmor_DFU_DriverInstallDlg::*installed;
    CString CVelmor_DFU_DriverInstallDlg::*status;
    CStatic CVelmor_DFU_DriverInstallDlg::*status_label;
    CButton CVelmor_DFU_DriverInstallDlg::*check;
  };
  static const InterfaceMembers kInterfaceMembers[];
  static const InterfaceMembers& MembersOf(const CommandInterface& row);

  // True while this thread already holds m_lock: a timer tick dispatched from inside a command
  // that holds the lock (a modal loop) must not rebuild what the command is using.
  bool LockHeldByThisThread() const;

  HICON m_hIcon;
  bool m_usartInstalled;
  bool m_bridgeInstalled;
  bool m_winusbInstalled;
  CRITICAL_SECTION m_lock;
  CString m_pidText;
  CString m_vidText;
  CString m_selectedUid;
  CComboBox m_probeCombo;
  std::vector<ProbeRecord> m_probes;
  wdi_device_entry* m_deviceList;
  wdi_device_entry m_templateDevice;
  wdi_list_options m_listOptions;
  wdi_install_options m_installOptions;
  bool m_refreshEnabled;
  int m_lastProbeCount;
  CString m_uidText;
  CButton m_installButton;
  CString m_usartStatus;
  CString m_bridgeStatus;
  CString m_winusbStatus;
  CStatic m_usartStatusLabel;
  CStatic m_bridgeStatusLabel;
  CStatic m_winusbStatusLabel;
  CButton m_usartCheck;
  CButton m_bridgeCheck;
  CButton m_winusbCheck;
  CString m_wcidText;
};
