// One probe as the dialog shows it: its interfaces of interest (InterfaceTable.h), each a copy of the engine's
// device entry (whose strings point into the dialog's current device list).
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"

struct ProbeInterfaceSlot {
  bool present;             // found in the current device list
  wdi_device_entry device;  // meaningful only when present
};

struct ProbeRecord {
  ProbeInterfaceSlot usart;   // interface 0
  ProbeInterfaceSlot bridge;  // interface 4
  ProbeInterfaceSlot winusb;  // interface 3
};

// Vendor and product of the probe, and its interfaces of interest.
constexpr uint16_t kProbeVendorId = 0x2E3C;
constexpr uint16_t kProbeProductId = 0xF000;

// True for an interface of a probe that the interface table has a row for.
bool IsProbeInterface(const wdi_device_entry* entry);

// The probe key of an entry: of the text after the last backslash of its instance ID, the part
// before the last "&". Empty without an "&" there, and for a null entry or instance ID.
std::string ProbeKeyOf(const wdi_device_entry* entry);

// The key of the first present slot in the table's order; empty when none is.
std::string ProbeUidOf(ProbeRecord record);

// One record per probe key, in the order of each key's first appearance in the list: per interface
// the first or the last entry of the key in list order, as its row says (the first interface 0,
// the last interface 3 and the last interface 4).
std::vector<ProbeRecord> GroupProbes(const wdi_device_entry* list);
