// The probe grouping of the refresh: which entries belong to a probe, their key, and one record
// per physical probe. No Windows calls: the host tests use it as it is.
#include "app/ProbeRecord.h"

#include "app/InterfaceTable.h"

#include <algorithm>
#include <cstring>

namespace {

std::string KeyOfInstanceId(const char* instance_id) {
  std::string id = instance_id != nullptr ? instance_id : "";
  size_t slash = id.rfind('\\');
  if (slash != std::string::npos) id.erase(0, slash + 1);
  size_t amp = id.rfind('&');
  return amp == std::string::npos ? std::string() : id.substr(0, amp);
}

// The probe's interfaces share the composite device's key: every probe entry goes into the slot of
// its number, either keeping the first match or letting the last one win.
void Take(ProbeInterfaceSlot& slot, const wdi_device_entry* entry, bool keep_first) {
  if (keep_first && slot.present) return;
  slot.present = true;
  slot.device = *entry;
}

}  // namespace

bool IsProbeInterface(const wdi_device_entry* entry) {
  if (entry == nullptr || entry->vendor_id != kProbeVendorId || entry->product_id != kProbeProductId ||
      entry->is_interface != 1) {
    return false;
  }
  for (const CommandInterface& row : kInterfaces) {
    if (entry->interface_number == row.number) return true;
  }
  return false;
}

std::string ProbeKeyOf(const wdi_device_entry* entry) {
  return entry != nullptr ? KeyOfInstanceId(entry->instance_id) : std::string();
}

std::string ProbeUidOf(ProbeRecord record) {
  for (const CommandInterface& row : kInterfaces) {
    if ((record.*row.slot).present) return KeyOfInstanceId((record.*row.slot).device.instance_id);
  }
  return std::string();
}

std::vector<ProbeRecord> GroupProbes(const wdi_device_entry* list) {
  std::vector<std::string> keys;
  for (const wdi_device_entry* e = list; e != nullptr; e = e->next_entry) {
    if (!IsProbeInterface(e)) continue;
    std::string key = ProbeKeyOf(e);
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
  }

  std::vector<ProbeRecord> probes;
  probes.reserve(keys.size());
  for (const std::string& key : keys) {
    ProbeRecord record{};
    for (const wdi_device_entry* e = list; e != nullptr; e = e->next_entry) {
      if (!IsProbeInterface(e) || ProbeKeyOf(e) != key) continue;
      for (const CommandInterface& row : kInterfaces) {
        if (e->interface_number == row.number) Take(record.*row.slot, e, row.first_entry_wins);
      }
    }
    probes.push_back(record);
  }
  return probes;
}
