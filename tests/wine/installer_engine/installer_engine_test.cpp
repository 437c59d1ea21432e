// The installer programs as the application has them run: both builds and an INF in a package
// folder, started and served by wdi_install_driver in standard mode, for the record that the
// engine's own enumeration makes of a node planted by the probe lab (or for the template record
// the application passes when no probe is attached).
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

#include <optional>
#include <set>
#include <string>

#include "engine/common/status.h"
#include "engine/enumeration/device_list.h"
#include "engine/install/install.h"
#include "fake_engine.h"
#include "probe_lab.h"
#include "tests/wine/runner/runner_fixture.h"
#include "win/handles.h"

namespace {

const char kNewdevErrorVariable[] = "VELMOR_TEST_NEWDEV_ERROR";
const unsigned kBits = static_cast<unsigned>(sizeof(void*) * 8);

bool own_build(const char* arch) { return (strcmp(arch, "x64") == 0) == (kBits == 64); }

// The installer build and the newdev stand-in of one architecture ("x86" or "x64").
std::string installer_build(const char* arch) {
  return own_build(arch) ? fake_engine::installer_path() : fake_engine::windows_path(OTHER_INSTALLER_UNIX_PATH);
}
std::string standin_build(const char* arch) {
  return own_build(arch) ? fake_engine::newdev_standin_path()
                         : fake_engine::windows_path(OTHER_NEWDEV_STANDIN_UNIX_PATH);
}

// Either engine build takes the installer of the Windows it runs on: the 32-bit engine under WoW64
// and the 64-bit engine both take the 64-bit installer.
const char* expected_arch() { return runner_test::windows_is_64bit() ? "x64" : "x86"; }

std::string windows_inf_folder() {
  char windir[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windir, MAX_PATH);
  return std::string(windir) + "\\inf\\";
}

std::set<std::string> files_in(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(data.cFileName);
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
  return names;
}

std::string registry_string(const std::string& key, const char* value) {
  return wine_test::registry_string(HKEY_LOCAL_MACHINE, key, value);
}

bool registry_key_exists(const std::string& key) { return wine_test::registry_key_exists(HKEY_LOCAL_MACHINE, key); }

// The service that the INF installs, through the service manager (which keeps it in memory too).
const char kInfService[] = "usbser";

bool service_exists() {
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return false;
  SC_HANDLE service = ::OpenServiceA(manager, kInfService, SERVICE_QUERY_STATUS);
  if (service != nullptr) ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  return service != nullptr;
}

void delete_service() {
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return;
  SC_HANDLE service = ::OpenServiceA(manager, kInfService, DELETE);
  if (service != nullptr) {
    ::DeleteService(service);
    ::CloseServiceHandle(service);
  }
  ::CloseServiceHandle(manager);
}

// A device list of the engine, kept for as long as a record of it is in use.
class device_list {
 public:
  device_list() {
    wdi_list_options all = {1, 1, 1};
    status_ = wdi_create_list(&list_, &all);
  }
  ~device_list() { wdi_destroy_list(list_); }
  device_list(const device_list&) = delete;
  device_list& operator=(const device_list&) = delete;

  int status() const { return status_; }
  wdi_device_entry* find(const std::string& instance_id) const {
    for (wdi_device_entry* e = list_; e != nullptr; e = e->next_entry) {
      if (e->instance_id != nullptr && _stricmp(e->instance_id, instance_id.c_str()) == 0) return e;
    }
    return nullptr;
  }

 private:
  wdi_device_entry* list_ = nullptr;
  int status_ = 1;
};

// An installer program of the package that is still running after the engine has returned.
struct left_running {
  std::string name;
  long exit_code = 1;  // the exit code once it has ended
};

// Finds installers started from `folder` that are still running, waits for their end and gives the
// first one's name and exit code (name empty: none was running).
left_running wait_for_installers_of(const std::string& folder) {
  left_running found;
  velmor::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry)) {
    std::string name = entry.szExeFile;
    if (_stricmp(name.c_str(), "installer_x86.exe") != 0 && _stricmp(name.c_str(), "installer_x64.exe") != 0) continue;
    velmor::unique_handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!process) continue;
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameA(process.get(), 0, image, &size) ||
        _strnicmp(image, folder.c_str(), folder.size()) != 0) {
      continue;  // another test's installer
    }
    ::WaitForSingleObject(process.get(), 15000);
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    if (found.name.empty()) {
      found.name = name;
      found.exit_code = static_cast<long>(code);
    }
  }
  return found;
}

// Text after the first occurrence of `line` in the log (empty when it is missing).
std::string log_after(const std::string& log, const std::string& line) {
  size_t at = log.find(line);
  return at == std::string::npos ? std::string() : log.substr(at + line.size());
}

// A probe interface planted for this test (a revision of its own, so that the installation touches
// no other node), and a package folder with both installer builds and an INF for that interface.
class EngineRunsInstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    velmor_lab::clear();
    char id[64];
    snprintf(id, sizeof(id), "USB\\VID_2E3C&PID_F000&REV_E2%02u&MI_00", kBits);
    hardware_id_ = id;
    snprintf(id, sizeof(id), "\\7&E2E%lX&0&0000", ::GetCurrentProcessId());
    instance_id_ = hardware_id_ + id;
    snprintf(id, sizeof(id), "Korvex-E2E-%u-%lu.inf", kBits, ::GetCurrentProcessId());
    inf_name_ = id;

    velmor_lab::node_spec node;
    node.instance_id = instance_id_;
    node.device_desc = "Korvex planted interface";
    node.has_bus_desc = true;
    node.bus_desc = "Korvex";
    node.hardware_ids = {hardware_id_, "USB\\VID_2E3C&PID_F000&MI_00"};
    ASSERT_TRUE(velmor_lab::plant(node));

    for (const char* arch : {"x86", "x64"}) {
      std::string build = installer_build(arch);
      ASSERT_NE(::GetFileAttributesA(build.c_str()), INVALID_FILE_ATTRIBUTES)
          << build << " is missing: both Windows trees must be built (scripts/build.sh)";
      ASSERT_TRUE(::CopyFileA(build.c_str(), (package_.folder() + "installer_" + arch + ".exe").c_str(), FALSE)) << wine_test::last_error();
    }
    package_.write(inf_name_, fake_engine::serial_inf(hardware_id_));
    folder_ = package_.folder().substr(0, package_.folder().size() - 1);
    inf_files_before_ = files_in(windows_inf_folder());
    service_before_ = service_exists();
  }

  void TearDown() override {
    ::SetEnvironmentVariableA(kNewdevErrorVariable, nullptr);
    // The lab removes the node with the driver key it names, also one an installation made.
    std::string driver = registry_string(node_key(), "Driver");
    velmor_lab::remove(instance_id_);
    velmor_lab::clear();
    EXPECT_FALSE(registry_key_exists(node_key()));
    if (!driver.empty()) {
      EXPECT_FALSE(registry_key_exists("System\\CurrentControlSet\\Control\\Class\\" + driver));
    }
    if (!service_before_) delete_service();

    // Copies in the system's INF folder: under the INF's own name (Wine) or the name the installer
    // reported.
    std::string inf_folder = windows_inf_folder();
    std::string copy = copied_inf();
    std::string base = inf_name_.substr(0, inf_name_.size() - 4);
    for (const std::string& name : files_in(inf_folder)) {
      if (inf_files_before_.count(name) != 0) continue;
      std::string path = inf_folder + name;
      bool ours = _strnicmp(name.c_str(), base.c_str(), base.size()) == 0 ||
                  (!copy.empty() && _strnicmp(path.c_str(), copy.c_str(), copy.size() - 4) == 0);
      if (ours) ::DeleteFileA(path.c_str());
    }
    EXPECT_EQ(files_in(inf_folder), inf_files_before_);
  }

  // Runs the installation with the newdev stand-in answering `newdev_error`, or with Wine's own
  // device installer when it is null; captures the engine's debug log.
  int install(wdi_device_entry* device, const char* newdev_error) {
    // The stand-in goes where the installer takes its device installer from: the system folder of
    // the installer's bitness. Wine's own module is put back afterwards.
    std::optional<wine_test::system_module_standin> standin;
    if (newdev_error != nullptr) {
      std::string source = standin_build(expected_arch());
      standin.emplace(source, "newdev.dll", strcmp(expected_arch(), "x64") == 0);
      EXPECT_TRUE(standin->placed()) << source;
      ::SetEnvironmentVariableA(kNewdevErrorVariable, newdev_error);
    }
    int status;
    std::string prepared;
    {
      runner_test::log_capture capture;
      prepared = runner_test::adopt_as_prepared(folder_, inf_name_.c_str());
      EXPECT_NE(prepared, "") << wine_test::last_error();
      status = wdi_install_driver(device, folder_.c_str(), inf_name_.c_str(), nullptr);
      log_ = capture.text();
    }
    ::SetEnvironmentVariableA(kNewdevErrorVariable, nullptr);
    left_running_ = wait_for_installers_of(prepared);
    return status;
  }

  bool logged(const std::string& line) const { return log_.find(line + "\n") != std::string::npos; }
  std::string installer_line(const std::string& text) const { return "Velmor:debug [installer process] " + text; }

  // The copy the installer reported with "copied inf to <path>", when it exists.
  std::string copied_inf() const {
    std::string tag = installer_line("copied inf to ");
    size_t at = log_.find(tag);
    if (at == std::string::npos) return std::string();
    std::string path = log_.substr(at + tag.size(), log_.find('\n', at) - at - tag.size());
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? path : std::string();
  }

  std::string node_key() const { return "System\\CurrentControlSet\\Enum\\" + instance_id_; }

  fake_engine::package package_;
  std::string folder_, hardware_id_, instance_id_, inf_name_, log_;
  std::set<std::string> inf_files_before_;
  bool service_before_ = false;
  left_running left_running_;
};

TEST_F(EngineRunsInstaller, RealInstallAnswersTheThreeRequestsAndGivesTheNodeItsService) {
  device_list before;
  ASSERT_EQ(before.status(), WDI_ST_OK);
  wdi_device_entry* device = before.find(instance_id_);
  ASSERT_NE(device, nullptr);
  ASSERT_STREQ(device->first_hardware_id, hardware_id_.c_str());
  EXPECT_EQ(device->service_name, nullptr);

  EXPECT_EQ(install(device, nullptr), WDI_ST_OK) << log_;

  EXPECT_TRUE(logged("Velmor:debug [wdi_install_driver] using standard mode")) << log_;
  EXPECT_TRUE(logged(installer_line("got parameter " + inf_name_))) << log_;
  // Each request is logged by the engine, and its answer by the installer, in this order.
  size_t asked_device = log_.find("[process_message] got request for device_id\n");
  size_t got_device = log_.find(installer_line("got device_id: '" + std::string(device->instance_id) + "'\n"));
  size_t asked_hardware = log_.find("[process_message] got request for hardware_id\n");
  size_t got_hardware = log_.find(installer_line("got hardware_id: '" + hardware_id_ + "'\n"));
  size_t got_sid = log_.find(installer_line("got user_sid: '" + runner_test::own_sid_text() + "'\n"));
  ASSERT_NE(got_sid, std::string::npos) << log_;
  EXPECT_LT(asked_device, got_device);
  EXPECT_LT(got_device, asked_hardware);
  EXPECT_LT(asked_hardware, got_hardware);
  EXPECT_LT(got_hardware, got_sid);

  EXPECT_TRUE(logged(installer_line("Installing driver for " + hardware_id_ + " - please wait..."))) << log_;
  EXPECT_TRUE(logged(installer_line("driver update completed"))) << log_;
  EXPECT_TRUE(logged("Velmor:debug [process_message] switching timeout to infinite"));
  EXPECT_TRUE(logged("Velmor:debug [process_message] switching timeout back to finite"));
  EXPECT_TRUE(logged("Velmor:debug [process_message] installer process completed"));
  EXPECT_EQ(log_.find("Copying inf file"), std::string::npos);
  // The run ends at the installer's status, not at its exit: one still ending exits with the status.
  EXPECT_TRUE(left_running_.name.empty() || left_running_.exit_code == 0) << left_running_.exit_code;

  EXPECT_EQ(registry_string(node_key(), "Service"), "usbser");
  EXPECT_NE(registry_string(node_key(), "Driver"), "");
  device_list after;
  ASSERT_EQ(after.status(), WDI_ST_OK);
  wdi_device_entry* installed = after.find(instance_id_);
  ASSERT_NE(installed, nullptr);
  ASSERT_NE(installed->service_name, nullptr);
  EXPECT_STREQ(installed->service_name, "usbser");
}

TEST_F(EngineRunsInstaller, AbsentDeviceAnswerCopiesTheInfAndSucceeds) {
  device_list list;
  wdi_device_entry* device = list.find(instance_id_);
  ASSERT_NE(device, nullptr);

  EXPECT_EQ(install(device, "0xE000020B"), WDI_ST_OK) << log_;

  EXPECT_TRUE(logged(installer_line("device not detected (copying driver files for next time device is plugged in)")))
      << log_;
  EXPECT_TRUE(logged(installer_line("Copying inf file (for the next time device is plugged) - please wait...")));
  std::string copy = copied_inf();
  ASSERT_NE(copy, "") << log_;
  EXPECT_EQ(_strnicmp(copy.c_str(), windows_inf_folder().c_str(), windows_inf_folder().size()), 0) << copy;
  EXPECT_TRUE(logged("Velmor:debug [process_message] installer process completed"));
  EXPECT_TRUE(left_running_.name.empty() || left_running_.exit_code == 0) << left_running_.exit_code;
  // Only the stand-in was asked: the node keeps its state.
  EXPECT_EQ(registry_string(node_key(), "Service"), "");
}

// The status that ends the run arrives right after the completion message, and the installer
// exits with the same code on its own (perhaps before the run has returned).
TEST_F(EngineRunsInstaller, UnsignedPolicyRefusalExplainsEndsWith19AndTheInstallerExitsWithIt) {
  device_list list;
  wdi_device_entry* device = list.find(instance_id_);
  ASSERT_NE(device, nullptr);

  EXPECT_EQ(install(device, "0xE000022F"), WDI_ST_UNSIGNED_REJECTED) << log_;

  EXPECT_TRUE(logged(installer_line("your system policy has been modified from Windows defaults, and"))) << log_;
  EXPECT_TRUE(logged(installer_line("is set to reject unsigned drivers. You must revert the driver")));
  EXPECT_TRUE(logged(installer_line("installation policy to default if you want to install this driver.")));
  EXPECT_EQ(log_.find("Copying inf file"), std::string::npos);
  const std::string completed = "Velmor:debug [process_message] installer process completed\n";
  ASSERT_NE(log_.find(completed), std::string::npos) << log_;
  EXPECT_EQ(log_after(log_, completed).find("[installer process]"), std::string::npos) << log_;

  if (!left_running_.name.empty()) {
    EXPECT_EQ(left_running_.name, std::string("installer_") + expected_arch() + ".exe");
    EXPECT_EQ(left_running_.exit_code, WDI_ST_UNSIGNED_REJECTED);
  }
}

// Without a probe the application passes its template record: no instance ID, no hardware ID.
TEST_F(EngineRunsInstaller, TemplateDeviceWithoutIdsSkipsTheDeviceInstallAndCopiesTheInf) {
  wdi_device_entry template_device = {};
  template_device.vendor_id = 0x2E3C;
  template_device.product_id = 0xF000;
  template_device.is_interface = 1;
  template_device.interface_number = 0;
  char description[] = "Usart driver";
  template_device.description = description;

  // The stand-in would refuse loudly if the device installer were called.
  EXPECT_EQ(install(&template_device, "0xE000022F"), WDI_ST_OK) << log_;

  EXPECT_TRUE(logged("Velmor:debug [process_message] no device_id - sending empty string")) << log_;
  EXPECT_TRUE(logged("Velmor:debug [process_message] no hardware_id - sending empty string"));
  EXPECT_EQ(log_.find("Installing driver for"), std::string::npos);
  EXPECT_EQ(log_.find("your system policy"), std::string::npos);
  EXPECT_TRUE(logged(installer_line("Copying inf file (for the next time device is plugged) - please wait...")));
  EXPECT_NE(copied_inf(), "") << log_;
  EXPECT_TRUE(left_running_.name.empty() || left_running_.exit_code == 0) << left_running_.exit_code;
  EXPECT_EQ(registry_string(node_key(), "Service"), "");
}

}  // namespace
