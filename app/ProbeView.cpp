// The probe view: once a second the engine's device list is grouped into one record per attached
// probe, and the combo box, the selected probe's identity, the WCID label, the status lines and
// the install button follow it. The selected probe is found again by its UID.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/DriverInstallDlg.h"
#include "app/InterfaceTable.h"
#include "app/Routines.h"
#include "engine/engine.h"
#include "win/lock.h"

namespace {

constexpr char kProbeRow[] = "Korvex";

// The WCID label speaks of the interface whose package follows the generic-ID rule.
bool HasWcidInterface(const ProbeRecord& record) {
  for (const CommandInterface& row : kInterfaces) {
    const ProbeInterfaceSlot& slot = record.*row.slot;
    if (row.generic_id_rule && slot.present && IsMsCompatibleId(slot.device.first_compatible_id)) return true;
  }
  return false;
}

const ProbeInterfaceSlot* FirstPresent(const ProbeRecord& record) {
  for (const CommandInterface& row : kInterfaces) {
    if ((record.*row.slot).present) return &(record.*row.slot);
  }
  return nullptr;
}

CString Hex(unsigned value) {
  CString text;
  text.Format("%X", value);
  return text;
}

}  // namespace

// A longer name that merely begins with the expected one does not count.
bool HasService(const ProbeInterfaceSlot& slot, const char* expected) {
  if (slot.device.service_name == nullptr) return false;
  std::string name = slot.device.service_name;
  if (!name.empty()) ::CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
  return name == expected;
}

// A list freed by another process at this very moment makes the destroy refuse; such a refusal
// lasts as long as one free, so a few short retries avoid losing the list.
void DestroyList(wdi_device_entry* list) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (wdi_destroy_list(list) != WDI_ST_IN_USE) return;
    ::Sleep(1);
  }
}

bool CVelmor_DFU_DriverInstallDlg::UpdateDriverStatus(ProbeRecord record) {
  bool all_installed = true;
  for (const CommandInterface& row : kInterfaces) {
    const ProbeInterfaceSlot& slot = record.*row.slot;
    const InterfaceMembers& members = MembersOf(row);
    CString& status = this->*members.status;
    bool& installed = this->*members.installed;
    if (!slot.present) {
      status.Empty();
      installed = false;
    } else if (HasService(slot, row.service)) {
      status = row.installed_text;
      installed = true;
    } else {
      status = row.missing_text;
      installed = false;
      all_installed = false;
    }
  }
  return all_installed;
}

void CVelmor_DFU_DriverInstallDlg::RefreshProbes() {
  m_listOptions.include_installed = 1;
  m_listOptions.include_hubs = 1;
  m_listOptions.trim_description = 1;
  m_pidText.Empty();
  m_vidText.Empty();
  m_uidText.Empty();
  // The records point into the list: both go together.
  if (m_deviceList != nullptr) {
    DestroyList(m_deviceList);
    m_deviceList = nullptr;
  }
  m_probes.clear();

  if (wdi_create_list(&m_deviceList, &m_listOptions) == WDI_ST_OK) m_probes = GroupProbes(m_deviceList);

  const int count = static_cast<int>(m_probes.size());
  if (count == 0) {
    // No probe, or no list (nothing attached, or another enumeration busy): the same view.
    m_probeCombo.ResetContent();
    m_probeCombo.AddString(kProbeRow);
    m_pidText = Hex(kProbeProductId);
    m_vidText = Hex(kProbeVendorId);
    m_uidText.Empty();
    m_wcidText.Empty();
    for (const CommandInterface& row : kInterfaces) (this->*MembersOf(row).status).Empty();
    m_installButton.SetWindowText("Install driver");
    m_lastProbeCount = 0;
    m_probeCombo.SetCurSel(0);
  } else {
    auto show = [this](const ProbeRecord& record) {
      m_pidText = Hex(kProbeProductId);
      m_vidText = Hex(kProbeVendorId);
      m_uidText = ProbeUidOf(record).c_str();
      m_selectedUid = m_uidText;
      m_wcidText = HasWcidInterface(record) ? "WCID" : "";
      m_installButton.SetWindowText(UpdateDriverStatus(record) ? "Reinstall driver" : "Install driver");
    };
    // Rows are rebuilt only when the number of probes changes; the selection then starts over.
    if (count != m_lastProbeCount) {
      m_lastProbeCount = count;
      m_probeCombo.ResetContent();
      for (int i = 0; i < count; ++i) m_probeCombo.AddString(kProbeRow);
      m_probeCombo.SetCurSel(-1);
    }
    for (const ProbeRecord& record : m_probes) {
      if (m_selectedUid == ProbeUidOf(record).c_str()) show(record);
    }
    if (m_probeCombo.GetCurSel() == CB_ERR) {
      m_probeCombo.SetCurSel(0);
      show(m_probes.front());
    }
  }
  UpdateData(FALSE);
}

void CVelmor_DFU_DriverInstallDlg::OnSelchangeProbe() {
  {  // the lock ends before the controls are filled in
    velmor::critical_section_lock hold(m_lock);
    int i = m_probeCombo.GetCurSel();
    if (i >= 0 && i < static_cast<int>(m_probes.size())) {
      const ProbeRecord& record = m_probes[static_cast<size_t>(i)];
      const ProbeInterfaceSlot* slot = FirstPresent(record);
      m_pidText = Hex(slot->device.product_id);
      m_vidText = Hex(slot->device.vendor_id);
      m_uidText = ProbeUidOf(record).c_str();
      m_selectedUid = m_uidText;
      m_installButton.SetWindowText(UpdateDriverStatus(record) ? "Reinstall driver" : "Install driver");
    }
  }
  UpdateData(FALSE);
}
