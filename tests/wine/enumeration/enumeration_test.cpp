// wdi_create_list over device nodes planted by the probe lab.
#include <gtest/gtest.h>

#include <string>

#include "engine/enumeration/config_manager.h"
#include "enum_test_util.h"
#include "test_support.h"
#include "win/imports.h"

using enum_test::contains;
using enum_test::log_capture;
using enum_test::node;
using enum_test::owned_list;

namespace {

// Windows 7 and later describe a device by what it reports itself; before, by its driver's text.
bool reads_bus_description() {
  std::string v = wine_test::version_under_test();
  return v != "winxp" && v != "win2003" && v != "vista";
}

class Enumeration : public ::testing::Test {
 protected:
  void SetUp() override { velmor_lab::clear(); }
  void TearDown() override { velmor_lab::clear(); }
};

const char kDriverless[] = "USB\\VID_1111&PID_2222\\LABDRVLESS";
const char kInstalled[] = "USB\\VID_1111&PID_3333\\LABINSTALLED";
const char kHub[] = "USB\\VID_05E3&PID_0610\\LABHUB";
const char kDriverlessHub[] = "USB\\VID_05E3&PID_0620\\LABHUB2";
const char kRootHub[] = "USB\\ROOT_HUB30\\LABROOT";

void plant_filter_matrix() {
  ASSERT_TRUE(velmor_lab::plant(node(kDriverless)));
  ASSERT_TRUE(velmor_lab::plant(node(kInstalled, "velmorvendor", true, "1.2.3.4")));
  ASSERT_TRUE(velmor_lab::plant(node(kHub, "USBHUB", true, "10.0.19041.1")));
  ASSERT_TRUE(velmor_lab::plant(node(kDriverlessHub, "vhhub")));
  ASSERT_TRUE(velmor_lab::plant(node(kRootHub, "usbhub3", true, "10.0.19041.1")));
  velmor_lab::probe_spec probe;
  probe.instance = "LABFILTER";
  ASSERT_TRUE(velmor_lab::plant_probe(probe));
}

}  // namespace

TEST_F(Enumeration, FiltersFollowTheOptions) {
  plant_filter_matrix();
  const std::string parent = velmor_lab::probe_parent_id("LABFILTER");
  {
    owned_list none(nullptr);
    ASSERT_EQ(none.status, WDI_ST_OK);
    EXPECT_TRUE(none.has(kDriverless));
    EXPECT_FALSE(none.has(kInstalled));
    EXPECT_FALSE(none.has(kHub));
    EXPECT_FALSE(none.has(kDriverlessHub));
    EXPECT_FALSE(none.has(kRootHub));
    EXPECT_FALSE(none.has(parent));
    for (const wdi_device_entry* e = none.head; e != nullptr; e = e->next_entry) EXPECT_EQ(e->installed_version, 0u);
  }
  {
    owned_list installed(1, 0, 0);
    ASSERT_EQ(installed.status, WDI_ST_OK);
    EXPECT_TRUE(installed.has(kDriverless));
    EXPECT_TRUE(installed.has(kInstalled));
    EXPECT_FALSE(installed.has(kHub));
    EXPECT_FALSE(installed.has(parent));
    EXPECT_FALSE(installed.has(kRootHub));
  }
  {
    owned_list hubs(0, 1, 0);
    ASSERT_EQ(hubs.status, WDI_ST_OK);
    EXPECT_TRUE(hubs.has(kDriverlessHub));
    EXPECT_FALSE(hubs.has(kHub));  // has a driver key
    EXPECT_FALSE(hubs.has(kRootHub));
  }
  {
    owned_list all(1, 1, 1);
    ASSERT_EQ(all.status, WDI_ST_OK);
    EXPECT_TRUE(all.has(kDriverless));
    EXPECT_TRUE(all.has(kInstalled));
    EXPECT_TRUE(all.has(kHub));
    EXPECT_TRUE(all.has(kDriverlessHub));
    EXPECT_FALSE(all.has(kRootHub));
    const wdi_device_entry* p = all.find(parent);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->is_interface, 0);
    EXPECT_EQ(p->vendor_id, 0x2E3C);
    EXPECT_EQ(p->product_id, 0xF000);
    ASSERT_NE(p->description, nullptr);
    EXPECT_EQ(std::string(p->description),
              reads_bus_description() ? "Korvex (Composite Parent)" : "USB Composite Device (Composite Parent)");
  }
}

TEST_F(Enumeration, ProbeInterfacesCarryTheirIdsAndDrivers) {
  velmor_lab::probe_spec probe;
  probe.instance = "1A2B3C4D";
  probe.mi[0].state = velmor_lab::driver_state::usbser;
  probe.mi[3].state = velmor_lab::driver_state::winusb;
  probe.mi[3].first_compatible = "USB\\MS_COMP_WINUSB";
  probe.mi[4].present = false;
  ASSERT_TRUE(velmor_lab::plant_probe(probe));

  owned_list list(1, 1, 1);
  ASSERT_EQ(list.status, WDI_ST_OK);
  const wdi_device_entry* mi3 = list.find("USB\\VID_2E3C&PID_F000&MI_03\\6&1A2B3C4D&0&0003");
  ASSERT_NE(mi3, nullptr);
  EXPECT_EQ(mi3->vendor_id, 0x2E3C);
  EXPECT_EQ(mi3->product_id, 0xF000);
  EXPECT_EQ(mi3->is_interface, 1);
  EXPECT_EQ(mi3->interface_number, 3);
  ASSERT_NE(mi3->description, nullptr);
  EXPECT_EQ(std::string(mi3->description),
            reads_bus_description() ? "Korvex (Interface 3)" : "WinUsb Device (Interface 3)");
  ASSERT_NE(mi3->service_name, nullptr);
  EXPECT_STREQ(mi3->service_name, "WinUSB");
  EXPECT_STREQ(mi3->first_hardware_id, "USB\\VID_2E3C&PID_F000&REV_0100&MI_03");
  EXPECT_STREQ(mi3->first_compatible_id, "USB\\MS_COMP_WINUSB");
  EXPECT_EQ(mi3->first_upper_filter, nullptr);
  EXPECT_EQ(mi3->installed_version, 0x0001000000000001u);

  const wdi_device_entry* mi1 = list.find(velmor_lab::probe_interface_id("1A2B3C4D", 1));
  ASSERT_NE(mi1, nullptr);
  EXPECT_EQ(mi1->service_name, nullptr);
  EXPECT_EQ(mi1->installed_version, 0u);
  EXPECT_FALSE(list.has(velmor_lab::probe_interface_id("1A2B3C4D", 4)));

  // Interfaces come in the order the system lists them; every listed entry has its instance ID.
  for (const wdi_device_entry* e = list.head; e != nullptr; e = e->next_entry) ASSERT_NE(e->instance_id, nullptr);
}

TEST_F(Enumeration, BadHexIsLoggedAndTheEntryKept) {
  // The system hands instance IDs out in upper case, whatever the registry holds.
  ASSERT_TRUE(velmor_lab::plant(node("USB\\VID_abcd&PID_eF01&MI_0a\\LABLOWER")));
  ASSERT_TRUE(velmor_lab::plant(node("USB\\VID_ZZZZ&PID_XY12&MI_QQ\\LABBADHEX")));
  log_capture log;
  owned_list list(1, 1, 1);
  std::string text = log.text();
  ASSERT_EQ(list.status, WDI_ST_OK);

  const wdi_device_entry* lower = list.find("USB\\VID_ABCD&PID_EF01&MI_0A\\LABLOWER");
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(lower->vendor_id, 0xABCD);
  EXPECT_EQ(lower->product_id, 0xEF01);
  EXPECT_EQ(lower->interface_number, 0x0A);
  EXPECT_TRUE(contains(lower->description, "(Interface 10)"));

  const wdi_device_entry* bad = list.find("USB\\VID_ZZZZ&PID_XY12&MI_QQ\\LABBADHEX");
  ASSERT_NE(bad, nullptr);
  EXPECT_EQ(bad->vendor_id, 0);
  EXPECT_EQ(bad->product_id, 0);
  EXPECT_EQ(bad->is_interface, 0);
  EXPECT_STREQ(bad->description, "Lab device");
  EXPECT_TRUE(contains(text, "Velmor:error [wdi_create_list] could not convert VID string"));
  EXPECT_TRUE(contains(text, "Velmor:error [wdi_create_list] could not convert PID string"));
  EXPECT_TRUE(contains(text, "Velmor:error [wdi_create_list] could not convert MI string"));
}

TEST_F(Enumeration, DriverVersionIsPackedFromItsLastFourPieces) {
  struct {
    const char* id;
    const char* version;
    uint64_t packed;
  } cases[] = {
      {"USB\\VID_1111&PID_0001\\LABV1", "10.0.19041.1", 0x000A00004A610001u},
      {"USB\\VID_1111&PID_0002\\LABV2", "1.2.3.4", 0x0001000200030004u},
      {"USB\\VID_1111&PID_0003\\LABV3", "1.2.3.4.5", 0x0002000300040005u},
      {"USB\\VID_1111&PID_0004\\LABV4", "6.1", 0x0000000000060001u},
      {"USB\\VID_1111&PID_0005\\LABV5", "1..2.", 0x0000000000010002u},
      {"USB\\VID_1111&PID_0006\\LABV6", "99999.99999.99999.99999", 0x86A086A086A0869Fu},
      // 23 characters and the terminator fill the buffer; one more does not fit.
      {"USB\\VID_1111&PID_0007\\LABV7", "99999.99999.99999.999999", 0},
  };
  for (const auto& c : cases) ASSERT_TRUE(velmor_lab::plant(node(c.id, "velmorvendor", true, c.version)));
  ASSERT_TRUE(velmor_lab::plant(node("USB\\VID_1111&PID_0008\\LABNOVER", "velmorvendor", true, "")));

  log_capture log;
  owned_list list(1, 0, 0);
  std::string text = log.text();
  ASSERT_EQ(list.status, WDI_ST_OK);
  for (const auto& c : cases) {
    const wdi_device_entry* e = list.find(c.id);
    ASSERT_NE(e, nullptr) << c.id;
    EXPECT_EQ(e->installed_version, c.packed) << c.version;
  }
  const wdi_device_entry* unversioned = list.find("USB\\VID_1111&PID_0008\\LABNOVER");
  ASSERT_NE(unversioned, nullptr);
  EXPECT_EQ(unversioned->installed_version, 0u);
  EXPECT_TRUE(contains(text, "Velmor:warning [wdi_create_list] could not read driver version"));
  EXPECT_TRUE(contains(text, "Velmor:debug [wdi_create_list] Driver version: 10.0.19041.1"));
}

TEST_F(Enumeration, TrimmingRemovesOnlyTrailingAsciiWhiteSpace) {
  velmor_lab::node_spec blank = node("USB\\VID_1111&PID_0010\\LABBLANK");
  velmor_lab::node_spec padded = node("USB\\VID_1111&PID_0011\\LABPADDED");
  velmor_lab::node_spec nbsp = node("USB\\VID_1111&PID_0012\\LABNBSP");
  blank.device_desc = blank.bus_desc = " \t ";
  padded.device_desc = padded.bus_desc = "  Gadget \t\r\n\v\f";
  nbsp.device_desc = nbsp.bus_desc = "Ger\xC3\xA4t\xC2\xA0";
  blank.has_bus_desc = padded.has_bus_desc = nbsp.has_bus_desc = true;
  for (const auto& n : {blank, padded, nbsp}) ASSERT_TRUE(velmor_lab::plant(n));

  owned_list trimmed(0, 0, 1);
  ASSERT_EQ(trimmed.status, WDI_ST_OK);
  ASSERT_NE(trimmed.find(blank.instance_id)->description, nullptr);
  EXPECT_STREQ(trimmed.find(blank.instance_id)->description, "");
  EXPECT_STREQ(trimmed.find(padded.instance_id)->description, "  Gadget");
  EXPECT_STREQ(trimmed.find(nbsp.instance_id)->description, "Ger\xC3\xA4t\xC2\xA0");

  owned_list kept(0, 0, 0);
  ASSERT_EQ(kept.status, WDI_ST_OK);
  EXPECT_STREQ(kept.find(blank.instance_id)->description, " \t ");
  EXPECT_STREQ(kept.find(padded.instance_id)->description, "  Gadget \t\r\n\v\f");
}

TEST_F(Enumeration, UnnamedDevicesAreCountedPerCall) {
  const char* ids[] = {"USB\\VID_1111&PID_0020\\LABANON1", "USB\\VID_1111&PID_0021\\LABANON2",
                       "USB\\VID_1111&PID_0022\\LABANON3"};
  for (const char* id : ids) {
    velmor_lab::node_spec n = node(id);
    n.device_desc.clear();
    ASSERT_TRUE(velmor_lab::plant(n));
  }
  velmor_lab::node_spec named = node("USB\\VID_1111&PID_0023\\LABNAMED");
  ASSERT_TRUE(velmor_lab::plant(named));

  for (int call = 0; call < 2; ++call) {
    log_capture log;
    owned_list list(nullptr);
    std::string text = log.text();
    ASSERT_EQ(list.status, WDI_ST_OK);
    // Only lab nodes are in a cleared prefix; the system lists them in its own order.
    int expected = 1;
    for (const wdi_device_entry* e = list.head; e != nullptr; e = e->next_entry) {
      if (std::string(e->instance_id) == named.instance_id) {
        EXPECT_STREQ(e->description, "Lab device");
        continue;
      }
      EXPECT_EQ(std::string(e->description), "Unknown Device #" + std::to_string(expected++)) << e->instance_id;
    }
    EXPECT_EQ(expected, 4);
    const char* level = reads_bus_description() ? "debug" : "warning";
    EXPECT_TRUE(contains(text, std::string("Velmor:") + level + " [wdi_create_list] could not read device description for "))
        << text;
  }
}

TEST_F(Enumeration, MissingHardwareIdAndFiltersAreReportedInTheEntry) {
  velmor_lab::node_spec bare = node("USB\\VID_1111&PID_0030\\LABBARE");
  bare.no_hardware_id = true;
  velmor_lab::node_spec filtered = node("USB\\VID_1111&PID_0031\\LABFILTERED");
  filtered.upper_filters = {"velmorfilter", "second"};
  filtered.compatible_ids = {"USB\\Class_FF", "USB\\Class_00"};
  ASSERT_TRUE(velmor_lab::plant(bare));
  ASSERT_TRUE(velmor_lab::plant(filtered));

  log_capture log;
  owned_list list(nullptr);
  std::string text = log.text();
  ASSERT_EQ(list.status, WDI_ST_OK);
  const wdi_device_entry* b = list.find(bare.instance_id);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b->first_hardware_id, "");
  EXPECT_STREQ(b->first_compatible_id, "");
  EXPECT_EQ(b->first_upper_filter, nullptr);
  EXPECT_TRUE(contains(text, "Velmor:error [wdi_create_list] could not get hardware ID"));
  const wdi_device_entry* f = list.find(filtered.instance_id);
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f->first_upper_filter, "velmorfilter");
  EXPECT_STREQ(f->first_compatible_id, "USB\\Class_FF");
  EXPECT_TRUE(contains(text, "Velmor:debug [wdi_create_list] Driverless USB device ("));
}

TEST_F(Enumeration, NothingListedGivesDeviceAbsentAndANullList) {
  ASSERT_TRUE(velmor_lab::plant(node(kInstalled, "velmorvendor", true, "1.0")));
  wdi_device_entry* list = reinterpret_cast<wdi_device_entry*>(0x1);
  EXPECT_EQ(wdi_create_list(&list, nullptr), WDI_ST_DEVICE_ABSENT);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(wdi_create_list(nullptr, nullptr), WDI_ST_BAD_PARAMETER);
}

TEST_F(Enumeration, PluggedAndUnpluggedNodesShowAtTheNextCall) {
  velmor_lab::probe_spec probe;
  probe.instance = "HOTPLUG1";
  ASSERT_TRUE(velmor_lab::plant_probe(probe));
  {
    owned_list list(1, 1, 1);
    EXPECT_TRUE(list.has(velmor_lab::probe_interface_id("HOTPLUG1", 4)));
  }
  ASSERT_TRUE(velmor_lab::unplug_probe("HOTPLUG1"));
  EXPECT_FALSE(velmor_lab::unplug_probe("HOTPLUG1"));
  owned_list list(1, 1, 1);
  EXPECT_FALSE(list.has(velmor_lab::probe_interface_id("HOTPLUG1", 4)));
  EXPECT_FALSE(list.has(velmor_lab::probe_parent_id("HOTPLUG1")));
}

TEST(InitDlls, FindsEveryEntryPointAndTheListKeepsThem) {
  namespace imports = velmor::imports;
  ASSERT_TRUE(init_dlls());
  EXPECT_NE(imports::CM_Get_Parent(), nullptr);
  EXPECT_NE(imports::CM_Get_Child(), nullptr);
  EXPECT_NE(imports::CM_Get_Sibling(), nullptr);
  EXPECT_NE(imports::CMP_WaitNoPendingInstallEvents(), nullptr);
  auto first = imports::CM_Get_Device_IDA();
  EXPECT_NE(first, nullptr);
  EXPECT_TRUE(init_dlls());
  EXPECT_EQ(imports::CM_Get_Device_IDA(), first);
}

TEST_F(Enumeration, LongDescriptionsStayWithinTheirBuffer) {
  velmor_lab::node_spec room = node("USB\\VID_1111&PID_0040&MI_01\\LABROOM");
  velmor_lab::node_spec full = node("USB\\VID_1111&PID_0041&MI_01\\LABFULL");
  velmor_lab::node_spec longest = node("USB\\VID_1111&PID_0042\\LABLONGEST");
  velmor_lab::node_spec too_long = node("USB\\VID_1111&PID_0043\\LABTOOLONG");
  room.device_desc = std::string(238, 'r');      // 238 + 17 < 256: the suffix fits
  full.device_desc = std::string(239, 'f');      // 239 + 17 = 256: no suffix
  longest.device_desc = std::string(255, 'l');   // 255 units and the terminator fill the buffer
  too_long.device_desc = std::string(256, 't');  // unreadable
  too_long.has_bus_desc = true;
  too_long.bus_desc = std::string(300, 'b');
  for (const auto& n : {room, full, longest, too_long}) ASSERT_TRUE(velmor_lab::plant(n));

  owned_list list(nullptr);
  ASSERT_EQ(list.status, WDI_ST_OK);
  EXPECT_EQ(std::string(list.find(room.instance_id)->description), room.device_desc + " (Interface 1)");
  EXPECT_EQ(std::string(list.find(full.instance_id)->description), full.device_desc);
  EXPECT_EQ(list.find(full.instance_id)->interface_number, 1);
  EXPECT_EQ(std::string(list.find(longest.instance_id)->description), longest.device_desc);
  EXPECT_EQ(std::string(list.find(too_long.instance_id)->description), "Unknown Device #1");
}
