// One probe as the dialog shows it: its three interfaces of interest, each a copy of the engine's
// device entry (whose strings point into the dialog's current device list).
#pragma once

#include "engine/device_list.h"

struct ProbeInterfaceSlot {
  bool present;             // found in the current device list
  wdi_device_entry device;  // meaningful only when present
};

struct ProbeRecord {
  ProbeInterfaceSlot usart;   // interface 0
  ProbeInterfaceSlot bridge;  // interface 4
  ProbeInterfaceSlot winusb;  // interface 3
};
