// The installer's success path through Wine's real device installer, on a device node planted by
// the probe lab for this test and removed after it.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "protocol/pipe_protocol.h"
#include "fake_engine.h"
#include "probe_lab.h"
#include "test_support.h"
#include "win/handles.h"

namespace {

const char enum_root[] = "System\\CurrentControlSet\\Enum\\";

// One planted probe interface, unique to this bitness and process.
class PlantedNode : public ::testing::Test {
 protected:
  void SetUp() override {
    char id[128];
    snprintf(id, sizeof(id), "VID_2E3C&PID_F000&REV_7E%02u&MI_00", static_cast<unsigned>(sizeof(void*) * 8));
    hardware_id_ = std::string("USB\\") + id;
    char instance[64];
    snprintf(instance, sizeof(instance), "7&7E57%lX&0&0000", ::GetCurrentProcessId());
    instance_id_ = hardware_id_ + "\\" + instance;
    node_key_ = std::string(enum_root) + instance_id_;
    char inf[64];
    snprintf(inf, sizeof(inf), "Korvex-Test-%u-%lu.inf", static_cast<unsigned>(sizeof(void*) * 8),
             ::GetCurrentProcessId());
    inf_name_ = inf;

    // A hardware ID of its own, so that no other planted probe takes the driver too.
    velmor_lab::node_spec node;
    node.instance_id = instance_id_;
    node.device_desc = "Korvex planted interface";
    node.hardware_ids = {hardware_id_};
    ASSERT_TRUE(velmor_lab::plant(node));
  }

  void TearDown() override {
    velmor_lab::remove(instance_id_);
    char windir[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windir, MAX_PATH);
    std::string copied = std::string(windir) + "\\inf\\" + inf_name_;
    ::DeleteFileA(copied.c_str());
    ::DeleteFileA((copied.substr(0, copied.size() - 3) + "pnf").c_str());
  }

  std::string node_key_, hardware_id_, instance_id_, inf_name_;
};

TEST_F(PlantedNode, InstallingTheInfGivesTheNodeItsService) {
  fake_engine::package pkg;
  pkg.write(inf_name_, fake_engine::serial_inf(hardware_id_));
  fake_engine::options o;
  o.arguments = "\"" + inf_name_ + "\"";
  o.device_id = instance_id_;
  o.hardware_id = hardware_id_;
  EXPECT_EQ(wine_test::registry_string(HKEY_LOCAL_MACHINE, node_key_, "Service"), "");

  fake_engine::result r = fake_engine::run(pkg, o);
  std::string log;
  for (const auto& m : r.messages) log += std::to_string(m.type) + ": " + m.text + "\n";

  EXPECT_TRUE(r.logged("Installing driver for " + hardware_id_ + " - please wait...")) << log;
  EXPECT_TRUE(r.logged("driver update completed")) << log;
  EXPECT_TRUE(r.logged("re-enumerating driver node " + instance_id_ + "...")) << log;
  EXPECT_FALSE(r.logged_prefix("Copying inf file"));
  EXPECT_EQ(wine_test::registry_string(HKEY_LOCAL_MACHINE, node_key_, "Service"), "usbser");
  EXPECT_EQ(r.final_status(), 0);
  EXPECT_TRUE(r.completed_then_status());
  EXPECT_EQ(r.exit_code, 0);
  // The long step is bracketed by the time-out switches.
  std::vector<int> types;
  for (const auto& m : r.messages) {
    if (m.type == PIPEMSG_TIMEOUT_INFINITE || m.type == PIPEMSG_TIMEOUT_FINITE) types.push_back(m.type);
  }
  EXPECT_EQ(types, (std::vector<int>{PIPEMSG_TIMEOUT_INFINITE, PIPEMSG_TIMEOUT_FINITE}));
}

}  // namespace
