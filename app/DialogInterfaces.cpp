// The dialog's own members of each interface (its routines, status text and colour flag, status
// line and check box), bound to the rows of the interface table in the table's order.
#include <iterator>

#include "app/DriverInstallDlg.h"
#include "app/InterfaceTable.h"

using Dlg = CVelmor_DFU_DriverInstallDlg;

const Dlg::InterfaceMembers Dlg::kInterfaceMembers[] = {
    {&Dlg::InstallUsartDriver, &Dlg::ExtractUsartDriver, &Dlg::m_usartInstalled, &Dlg::m_usartStatus,
     &Dlg::m_usartStatusLabel, &Dlg::m_usartCheck},
    {&Dlg::InstallBridgeDriver, &Dlg::ExtractBridgeDriver, &Dlg::m_bridgeInstalled, &Dlg::m_bridgeStatus,
     &Dlg::m_bridgeStatusLabel, &Dlg::m_bridgeCheck},
    {&Dlg::InstallWinusbDriver, &Dlg::ExtractWinusbDriver, &Dlg::m_winusbInstalled, &Dlg::m_winusbStatus,
     &Dlg::m_winusbStatusLabel, &Dlg::m_winusbCheck},
};
const Dlg::InterfaceMembers& Dlg::MembersOf(const CommandInterface& row) {
  static_assert(std::size(kInterfaceMembers) == kInterfaceCount, "one binding per row of the interface table");
  return kInterfaceMembers[IndexOf(row)];
}

int Dlg::InstallUsartDriver() { return InstallInterface(kUsartInterface); }
int Dlg::InstallBridgeDriver() { return InstallInterface(kBridgeInterface); }
int Dlg::InstallWinusbDriver() { return InstallInterface(kWinusbInterface); }
int Dlg::ExtractUsartDriver() { return ExtractInterface(kUsartInterface); }
int Dlg::ExtractBridgeDriver() { return ExtractInterface(kBridgeInterface); }
int Dlg::ExtractWinusbDriver() { return ExtractInterface(kWinusbInterface); }
