// probe_lab.exe, the lab's command line for scripts, seen through the engine's enumeration.
#include <gtest/gtest.h>

#include <string>

#include "enum_test_util.h"
#include "test_support.h"

using enum_test::owned_list;

namespace {

long lab(const std::string& args) {
  return wine_test::run_and_wait(wine_test::program_folder() + "..\\..\\lab\\probe_lab.exe " + args);
}

class LabCommandLine : public ::testing::Test {
 protected:
  void SetUp() override { velmor_lab::clear(); }
  void TearDown() override { velmor_lab::clear(); }
};

}  // namespace

TEST_F(LabCommandLine, PlantsAProbeWithEachInterfaceInItsDriverState) {
  ASSERT_EQ(lab("plant-probe --instance CLI1 --mi0 usbser --mi3 winusb --mi3-compat MS_COMP_WINUSB "
                "--mi4 service=USBSERX --absent 1 --version 2.0.1.0"),
            0);
  owned_list list(1, 1, 1);
  ASSERT_EQ(list.status, WDI_ST_OK);
  const wdi_device_entry* parent = list.find(velmor_lab::probe_parent_id("CLI1"));
  const wdi_device_entry* mi0 = list.find(velmor_lab::probe_interface_id("CLI1", 0));
  const wdi_device_entry* mi2 = list.find(velmor_lab::probe_interface_id("CLI1", 2));
  const wdi_device_entry* mi3 = list.find(velmor_lab::probe_interface_id("CLI1", 3));
  const wdi_device_entry* mi4 = list.find(velmor_lab::probe_interface_id("CLI1", 4));
  ASSERT_TRUE(parent && mi0 && mi2 && mi3 && mi4);
  EXPECT_FALSE(list.has(velmor_lab::probe_interface_id("CLI1", 1)));
  EXPECT_STREQ(parent->service_name, "usbccgp");
  EXPECT_STREQ(mi0->service_name, "usbser");
  EXPECT_EQ(mi0->installed_version, 0x0002000000010000u);
  EXPECT_EQ(mi2->service_name, nullptr);
  EXPECT_STREQ(mi3->service_name, "WinUSB");
  EXPECT_STREQ(mi3->first_compatible_id, "USB\\MS_COMP_WINUSB");
  EXPECT_STREQ(mi4->service_name, "USBSERX");
  EXPECT_STREQ(mi0->first_compatible_id, "USB\\Class_02&SubClass_02&Prot_01");

  EXPECT_EQ(lab("unplug --instance CLI1"), 0);
  EXPECT_EQ(lab("unplug --instance CLI1"), 1);  // nothing left to unplug
  owned_list after(1, 1, 1);
  EXPECT_FALSE(after.has(velmor_lab::probe_interface_id("CLI1", 0)));
}

TEST_F(LabCommandLine, PlantsAnyNodeAndRemovesOnlyItsOwn) {
  ASSERT_EQ(lab("plant --id USB\\ROOT_HUB30\\CLIROOT --service usbhub3 --driver"), 0);
  ASSERT_EQ(lab("plant --id USB\\VID_1234&PID_0001\\CLIDEV --desc \"Lab gadget\" --upper velmorfilter"), 0);
  EXPECT_EQ(velmor_lab::planted().size(), 2u);
  owned_list list(nullptr);
  const wdi_device_entry* dev = list.find("USB\\VID_1234&PID_0001\\CLIDEV");
  ASSERT_NE(dev, nullptr);
  EXPECT_STREQ(dev->description, "Lab gadget");
  EXPECT_STREQ(dev->first_upper_filter, "velmorfilter");

  EXPECT_EQ(lab("remove --id USB\\VID_1234&PID_0001\\CLIDEV"), 0);
  EXPECT_EQ(lab("remove --id USB\\VID_1234&PID_0001\\CLIDEV"), 1);
  EXPECT_EQ(lab("remove --id ROOT\\WINE\\WINEBUS"), 1);  // not the lab's: left alone
  EXPECT_EQ(lab("clear"), 0);
  EXPECT_TRUE(velmor_lab::planted().empty());
  EXPECT_EQ(lab("plant-probe --mi0 usbser"), 2);  // no instance
  EXPECT_EQ(lab("plant-probe --instance X --mi0 nonsense"), 2);
  EXPECT_EQ(lab("bogus"), 2);
}
