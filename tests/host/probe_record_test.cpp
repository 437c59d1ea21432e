// Probe keys, UIDs and the grouping of device entries into one record per probe.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/ProbeRecord.h"

namespace {

// A device list built from instance IDs, linked in the order given.
class device_list {
 public:
  wdi_device_entry* add(const std::string& instance_id, uint16_t vid = 0x2E3C, uint16_t pid = 0xF000,
                        int mi = -1) {
    ids_.push_back(instance_id);
    entries_.push_back(wdi_device_entry{});
    wdi_device_entry& e = entries_.back();
    e.instance_id = &ids_.back()[0];
    e.vendor_id = vid;
    e.product_id = pid;
    e.is_interface = mi >= 0 ? 1 : 0;
    e.interface_number = static_cast<uint8_t>(mi >= 0 ? mi : 0);
    if (entries_.size() > 1) entries_[entries_.size() - 2].next_entry = &e;
    return &e;
  }
  // Interface mi of the probe whose instance part is "6&<serial>&0".
  wdi_device_entry* probe(const std::string& serial, int mi) {
    char id[128];
    std::snprintf(id, sizeof(id), "USB\\VID_2E3C&PID_F000&MI_%02d\\6&%s&0&%04d", mi, serial.c_str(), mi);
    return add(id, 0x2E3C, 0xF000, mi);
  }
  const wdi_device_entry* head() const { return entries_.empty() ? nullptr : &entries_.front(); }

 private:
  std::deque<std::string> ids_;  // deques keep addresses stable
  std::deque<wdi_device_entry> entries_;
};

std::string key_of(const char* instance_id) {
  wdi_device_entry e{};
  e.instance_id = const_cast<char*>(instance_id);
  return ProbeKeyOf(&e);
}

}  // namespace

TEST(ProbeKey, IsTheInstancePartBeforeItsLastAmpersand) {
  EXPECT_EQ(key_of("USB\\VID_2E3C&PID_F000&MI_03\\6&1A2B3C4D&0&0003"), "6&1A2B3C4D&0");
  EXPECT_EQ(key_of("USB\\VID_2E3C&PID_F000&MI_00\\SERIAL"), "");  // no "&" after the last backslash
  EXPECT_EQ(key_of("6&ABC&0&0000"), "6&ABC&0");                     // no backslash: the whole text
  EXPECT_EQ(key_of("USB\\X\\&0000"), "");
  EXPECT_EQ(key_of("USB\\X\\A&"), "A");
  EXPECT_EQ(key_of("USB\\X\\"), "");
  EXPECT_EQ(key_of(""), "");
  EXPECT_EQ(key_of(nullptr), "");
  EXPECT_EQ(ProbeKeyOf(nullptr), "");
}

TEST(ProbeUid, IsTheKeyOfTheFirstPresentSlotUsartBridgeWinusb) {
  device_list list;
  wdi_device_entry* mi0 = list.probe("AAAA", 0);
  wdi_device_entry* mi3 = list.probe("BBBB", 3);
  wdi_device_entry* mi4 = list.probe("CCCC", 4);
  ProbeRecord r{};
  EXPECT_EQ(ProbeUidOf(r), "");
  r.winusb = {true, *mi3};
  EXPECT_EQ(ProbeUidOf(r), "6&BBBB&0");
  r.bridge = {true, *mi4};
  EXPECT_EQ(ProbeUidOf(r), "6&CCCC&0");
  r.usart = {true, *mi0};
  EXPECT_EQ(ProbeUidOf(r), "6&AAAA&0");
  r.usart.present = false;  // an absent slot's copy is never read
  EXPECT_EQ(ProbeUidOf(r), "6&CCCC&0");
}

TEST(ProbeGrouping, KeepsOnlyInterfacesZeroThreeAndFourOfTheProbe) {
  device_list list;
  list.add("USB\\VID_2E3C&PID_F000\\6&AAAA&0&1");                               // composite parent
  list.probe("AAAA", 1);                                                        // other interface
  list.add("USB\\VID_2E3C&PID_F001&MI_00\\6&AAAA&0&0000", 0x2E3C, 0xF001, 0);   // other product
  list.add("USB\\VID_1234&PID_F000&MI_00\\6&AAAA&0&0000", 0x1234, 0xF000, 0);   // other vendor
  EXPECT_TRUE(GroupProbes(list.head()).empty());
  EXPECT_TRUE(GroupProbes(nullptr).empty());

  list.probe("AAAA", 4);
  std::vector<ProbeRecord> probes = GroupProbes(list.head());
  ASSERT_EQ(probes.size(), 1u);
  EXPECT_FALSE(probes[0].usart.present);
  EXPECT_FALSE(probes[0].winusb.present);
  ASSERT_TRUE(probes[0].bridge.present);
  EXPECT_EQ(ProbeUidOf(probes[0]), "6&AAAA&0");
}

TEST(ProbeGrouping, FollowsDiscoveryOrderAndKeepsFirstUsartLastWinusbAndBridge) {
  device_list list;
  list.probe("BBBB", 3);
  wdi_device_entry* first_a0 = list.probe("AAAA", 0);
  list.probe("AAAA", 3);
  list.probe("BBBB", 0);
  list.probe("AAAA", 0);  // a second interface 0 with the same key: ignored
  wdi_device_entry* last_a3 = list.probe("AAAA", 3);
  list.probe("CCCC", 4);
  list.probe("AAAA", 4);
  wdi_device_entry* last_a4 = list.probe("AAAA", 4);
  first_a0->description = const_cast<char*>("first");
  last_a3->description = const_cast<char*>("last3");
  last_a4->description = const_cast<char*>("last4");

  std::vector<ProbeRecord> probes = GroupProbes(list.head());
  ASSERT_EQ(probes.size(), 3u);
  EXPECT_EQ(ProbeUidOf(probes[0]), "6&BBBB&0");
  EXPECT_EQ(ProbeUidOf(probes[1]), "6&AAAA&0");
  EXPECT_EQ(ProbeUidOf(probes[2]), "6&CCCC&0");

  const ProbeRecord& a = probes[1];
  ASSERT_TRUE(a.usart.present && a.winusb.present && a.bridge.present);
  EXPECT_STREQ(a.usart.device.description, "first");
  EXPECT_STREQ(a.winusb.device.description, "last3");
  EXPECT_STREQ(a.bridge.device.description, "last4");
  EXPECT_EQ(a.usart.device.instance_id, first_a0->instance_id);  // copies point into the list

  EXPECT_TRUE(probes[0].usart.present);
  EXPECT_TRUE(probes[0].winusb.present);
  EXPECT_FALSE(probes[0].bridge.present);
  EXPECT_FALSE(probes[2].usart.present);
}

TEST(ProbeGrouping, EntriesWithoutAmpersandShareTheEmptyKey) {
  device_list list;
  list.add("USB\\VID_2E3C&PID_F000&MI_00\\SERIAL1", 0x2E3C, 0xF000, 0);
  list.add("USB\\VID_2E3C&PID_F000&MI_03\\SERIAL2", 0x2E3C, 0xF000, 3);
  list.probe("AAAA", 0);
  std::vector<ProbeRecord> probes = GroupProbes(list.head());
  ASSERT_EQ(probes.size(), 2u);
  EXPECT_EQ(ProbeUidOf(probes[0]), "");
  EXPECT_TRUE(probes[0].usart.present);
  EXPECT_TRUE(probes[0].winusb.present);
  EXPECT_EQ(ProbeUidOf(probes[1]), "6&AAAA&0");
}

TEST(ProbeGrouping, KeysAreCaseSensitive) {
  device_list list;
  list.add("USB\\VID_2E3C&PID_F000&MI_00\\6&abcd&0&0000", 0x2E3C, 0xF000, 0);
  list.add("USB\\VID_2E3C&PID_F000&MI_03\\6&ABCD&0&0003", 0x2E3C, 0xF000, 3);
  EXPECT_EQ(GroupProbes(list.head()).size(), 2u);
}
