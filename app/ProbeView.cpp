// The probe view: the refresh, the driver status lines and the selection. Until the engine's
// enumeration is in, every refresh shows the no-probe state.
#include "app/DriverInstallDlg.h"

bool CVelmor_DFU_DriverInstallDlg::UpdateDriverStatus(ProbeRecord) {
  m_usartStatus.Empty();
  m_winusbStatus.Empty();
  m_bridgeStatus.Empty();
  m_usartInstalled = m_winusbInstalled = m_bridgeInstalled = false;
  return true;
}

void CVelmor_DFU_DriverInstallDlg::RefreshProbes() {
  m_listOptions.include_installed = 1;
  m_listOptions.include_hubs = 1;
  m_listOptions.trim_description = 1;
  m_pidText.Empty();
  m_vidText.Empty();
  m_uidText.Empty();
  m_probes.clear();

  m_probeCombo.ResetContent();
  m_probeCombo.AddString("Korvex");
  m_pidText = "F000";
  m_vidText = "2E3C";
  m_uidText.Empty();
  m_wcidText.Empty();
  m_usartStatus.Empty();
  m_bridgeStatus.Empty();
  m_winusbStatus.Empty();
  m_installButton.SetWindowText("Install driver");
  m_lastProbeCount = 0;
  m_probeCombo.SetCurSel(0);

  UpdateData(FALSE);
}

void CVelmor_DFU_DriverInstallDlg::OnSelchangeProbe() {
  ::EnterCriticalSection(&m_lock);
  int i = m_probeCombo.GetCurSel();
  if (i >= 0 && i < static_cast<int>(m_probes.size())) {
    // Filled in with the enumeration.
  }
  ::LeaveCriticalSection(&m_lock);
  UpdateData(FALSE);
}
