// The installer's success path through Wine's real device installer, on a device node planted in
// the registry for this test and removed after it.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "engine/pipe_protocol.h"
#include "engine/win_raii.h"
#include "fake_engine.h"

namespace {

const char enum_usb[] = "System\\CurrentControlSet\\Enum\\USB\\";
const char class_root[] = "System\\CurrentControlSet\\Control\\Class\\";

std::string read_string(const std::string& key, const char* value) {
  char text[512] = {};
  DWORD size = sizeof(text) - 1;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return std::string();
  }
  return text;
}

// One planted probe interface, unique to this bitness and process.
class PlantedNode : public ::testing::Test {
 protected:
  void SetUp() override {
    char id[128];
    snprintf(id, sizeof(id), "VID_2E3C&PID_F000&REV_7E%02u&MI_00", static_cast<unsigned>(sizeof(void*) * 8));
    device_key_ = std::string(enum_usb) + id;
    hardware_id_ = std::string("USB\\") + id;
    char instance[64];
    snprintf(instance, sizeof(instance), "7&7E57%lX&0&0000", ::GetCurrentProcessId());
    node_key_ = device_key_ + "\\" + instance;
    instance_id_ = hardware_id_ + "\\" + instance;
    char inf[64];
    snprintf(inf, sizeof(inf), "Korvex-Test-%u-%lu.inf", static_cast<unsigned>(sizeof(void*) * 8),
             ::GetCurrentProcessId());
    inf_name_ = inf;

    velmor::unique_hkey node;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, node_key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                node.put(), nullptr),
              ERROR_SUCCESS);
    set_sz(node.get(), "ClassGUID", "{00000000-0000-0000-0000-000000000000}");
    set_sz(node.get(), "DeviceDesc", "Korvex planted interface");
    set_sz(node.get(), "Mfg", "Velmor");
    std::string ids = hardware_id_ + std::string(1, '\0') + std::string(1, '\0');
    ::RegSetValueExA(node.get(), "HardwareID", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(ids.data()),
                     static_cast<DWORD>(ids.size()));
    DWORD flags = 0;
    ::RegSetValueExA(node.get(), "ConfigFlags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof(flags));
  }

  void TearDown() override {
    std::string driver = read_string(node_key_, "Driver");
    if (!driver.empty()) ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(class_root) + driver).c_str());
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, device_key_.c_str());
    char windir[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windir, MAX_PATH);
    std::string copied = std::string(windir) + "\\inf\\" + inf_name_;
    ::DeleteFileA(copied.c_str());
    ::DeleteFileA((copied.substr(0, copied.size() - 3) + "pnf").c_str());
  }

  static void set_sz(HKEY key, const char* name, const char* text) {
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
  }

  std::string device_key_, node_key_, hardware_id_, instance_id_, inf_name_;
};

TEST_F(PlantedNode, InstallingTheInfGivesTheNodeItsService) {
  fake_engine::package pkg;
  pkg.write(inf_name_, fake_engine::serial_inf(hardware_id_));
  fake_engine::options o;
  o.arguments = "\"" + inf_name_ + "\"";
  o.device_id = instance_id_;
  o.hardware_id = hardware_id_;
  EXPECT_EQ(read_string(node_key_, "Service"), "");

  fake_engine::result r = fake_engine::run(pkg, o);
  std::string log;
  for (const auto& m : r.messages) log += std::to_string(m.type) + ": " + m.text + "\n";

  EXPECT_TRUE(r.logged("Installing driver for " + hardware_id_ + " - please wait...")) << log;
  EXPECT_TRUE(r.logged("driver update completed")) << log;
  EXPECT_TRUE(r.logged("re-enumerating driver node " + instance_id_ + "...")) << log;
  EXPECT_FALSE(r.logged_prefix("Copying inf file"));
  EXPECT_EQ(read_string(node_key_, "Service"), "usbser");
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
