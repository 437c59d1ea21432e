// The probe's interfaces of interest, one row each: every fact that differs between them lives
// here, and the dialog, the command line and the probe grouping loop over the rows. A new
// interface is a new row, a slot in ProbeRecord, its controls and the dialog members bound to it
// (DialogInterfaces.cpp). No Windows calls: host tests use the table as it is.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "app/ProbeRecord.h"
#include "app/resource.h"

// The engine's driver kinds (its preparation header needs Windows).
constexpr int32_t kDriverKindWinusb = 0;
constexpr int32_t kDriverKindCdc = 3;

struct CommandInterface {
  uint8_t number;                      // interface number: 0, 4 or 3
  ProbeInterfaceSlot ProbeRecord::*slot;
  bool first_entry_wins;               // grouping: the first entry of this number per probe, else the last
  const char* description;             // description of the template device
  const char* folder;                  // package folder name
  const char* inf_name;
  int32_t driver_kind;
  bool generic_id_rule;                // the package's compatible ID follows the generic-ID rule
  // The package's device interface GUID, the same in every preparation: a GUID drawn anew each time
  // made every installation's INF differ from the last, and Windows then added one more driver
  // package to its store on every reinstallation. Host software finds the WinUSB interface by it
  // where the package does not use the generic compatible ID (before Windows 7).
  const char* interface_guid;
  const char* install_routine;         // the dialog's install routine, as the log names it
  const char* install_failed;          // prefix of the install error box
  const char* extract_failed;          // prefix of the extract error box
  const char* name;                    // on the command line: "usart", "bridge", "winusb"
  const char* label;                   // "Usart driver", as the check box reads
  const char* service;                 // the driver service that counts as installed
  const char* installed_text;          // status line with the driver installed
  const char* missing_text;            // status line without it
  int check_id;                        // the interface's check box
  int status_id;                       // its status line
};

// In the order the dialog declares them and reports failures in: interfaces 0, 4, 3.
inline constexpr CommandInterface kInterfaces[] = {
    {0, &ProbeRecord::usart, true, "Korvex-USART", "Usart_driver", "Korvex-USART.inf", kDriverKindCdc, false,
     "{553E0DC1-BD96-4549-B913-CAF1B8B6CCB5}", "InstallUsartDriver", "Usart driver installation failed. ", "Usart driver was extract failed. ", "usart",
     "Usart driver", "usbser", "Usart driver has been installed", "Usart driver not installed", IDC_USART_CHECK,
     IDC_USART_STATUS},
    {4, &ProbeRecord::bridge, false, "Korvex-Bridge", "Bridge_driver", "Korvex-Bridge.inf", kDriverKindCdc, false,
     "{586AF570-3752-45AC-BFF8-1DBF56BCA2E5}", "InstallBridgeDriver", "Bridge driver installation failed. ", "Bridge driver was extract failed. ", "bridge",
     "Bridge driver", "usbser", "Bridge driver has been installed", "Bridge driver not installed",
     IDC_BRIDGE_CHECK, IDC_BRIDGE_STATUS},
    {3, &ProbeRecord::winusb, false, "Korvex-WinUSB", "WinUSB_driver", "Korvex-WinUSB.inf", kDriverKindWinusb, true,
     "{0B5AE6F8-DB09-49E4-BBBC-22F6F40A175C}", "InstallWinusbDriver", "WinUSB driver installation failed. ", "WinUSB driver was extract failed. ", "winusb",
     "WinUSB driver", "winusb", "WinUSB driver has been installed", "WinUSB driver not installed",
     IDC_WINUSB_CHECK, IDC_WINUSB_STATUS},
};
inline constexpr size_t kInterfaceCount = sizeof(kInterfaces) / sizeof(kInterfaces[0]);

// The order installations run in, which is also the order /list, /check and /uninstall show the
// interfaces in: 0, 3, 4.
inline constexpr const CommandInterface* kInstallOrder[kInterfaceCount] = {&kInterfaces[0], &kInterfaces[2],
                                                                          &kInterfaces[1]};

constexpr bool NamesEveryRowOnce(const CommandInterface* const (&order)[kInterfaceCount]) {
  for (const CommandInterface& row : kInterfaces) {
    size_t seen = 0;
    for (const CommandInterface* named : order) seen += named == &row ? 1 : 0;
    if (seen != 1) return false;
  }
  return true;
}
static_assert(NamesEveryRowOnce(kInstallOrder), "the install order names every interface once");

inline constexpr const CommandInterface& kUsartInterface = kInterfaces[0];
inline constexpr const CommandInterface& kBridgeInterface = kInterfaces[1];
inline constexpr const CommandInterface& kWinusbInterface = kInterfaces[2];

// The index of a row of kInterfaces.
inline size_t IndexOf(const CommandInterface& row) { return static_cast<size_t>(&row - kInterfaces); }

// One value per row, indexed like kInterfaces.
template <typename T>
struct PerInterface {
  T values[kInterfaceCount] = {};
  static PerInterface Filled(T value) {
    PerInterface all;
    for (T& v : all.values) v = value;
    return all;
  }
  T& operator[](const CommandInterface& row) { return values[IndexOf(row)]; }
  const T& operator[](const CommandInterface& row) const { return values[IndexOf(row)]; }
};
