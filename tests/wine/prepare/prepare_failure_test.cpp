// Each way a preparation fails, with its status and log line.
#include "engine/status.h"
#include "engine/win_raii.h"
#include "prepare_test_util.h"

using namespace prepare_test;

namespace {

const device usart(0x2E3C, 0xF000, 0, "Korvex-USART");

// Restores an environment variable at scope end.
class saved_env {
 public:
  explicit saved_env(const char* name) : name_(name) {
    char value[MAX_PATH * 2];
    DWORD n = ::GetEnvironmentVariableA(name, value, sizeof(value));
    had_ = n > 0 && n < sizeof(value);
    if (had_) value_ = value;
  }
  ~saved_env() { ::SetEnvironmentVariableA(name_, had_ ? value_.c_str() : nullptr); }

 private:
  const char* name_;
  bool had_ = false;
  std::string value_;
};

}  // namespace

TEST(PrepareFailures, MissingArgumentsAndBadInfNames) {
  scratch_dir dir;
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  {
    log_capture log;
    EXPECT_EQ(wdi_prepare_driver(nullptr, dir.path().c_str(), "a.inf", &o), WDI_ST_BAD_PARAMETER);
    EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), nullptr, &o), WDI_ST_BAD_PARAMETER);
    EXPECT_TRUE(log.has("Velmor:error [wdi_prepare_driver] one of the required parameter is NULL\n"));
  }
  for (const char* name : {"Korvex-USART.INF", "inf", ".in", "a.inf.txt", ""}) {
    log_capture log;
    EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), name, &o), WDI_ST_BAD_PARAMETER) << name;
    EXPECT_TRUE(log.has("inf name provided must have a '.inf' extension")) << name;
  }
  EXPECT_FALSE(exists(dir.path()));  // rejected before anything is written
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), ".inf", &o), WDI_ST_OK);
}

TEST(PrepareFailures, NoFolderMeansTemp) {
  scratch_dir temp;
  saved_env keep("TEMP");
  ::SetEnvironmentVariableA("TEMP", temp.path().c_str());
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  for (const char* folder : {static_cast<const char*>(nullptr), ""}) {
    log_capture log;
    EXPECT_EQ(wdi_prepare_driver(usart.get(), folder, "t.inf", &o), WDI_ST_OK);
    EXPECT_TRUE(log.has("Velmor:info [wdi_prepare_driver] no path provided - extracting to '" + temp.path() + "'\n"));
    EXPECT_TRUE(exists(temp.file("t.inf")));
  }
  ::SetEnvironmentVariableA("TEMP", nullptr);
  log_capture log;
  EXPECT_EQ(wdi_prepare_driver(usart.get(), nullptr, "t.inf", &o), WDI_ST_BAD_PARAMETER);
  EXPECT_TRUE(log.has("Velmor:error [wdi_prepare_driver] no path provided and unable to use TEMP\n"));
}

TEST(PrepareFailures, FolderThatIsAFileIsDenied) {
  scratch_dir dir;
  std::string file = dir.file("plain");
  ASSERT_TRUE(wine_test::write_file(file, "")) << wine_test::last_error();
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  EXPECT_EQ(wdi_prepare_driver(usart.get(), file.c_str(), "a.inf", &o), WDI_ST_DENIED);
}

TEST(PrepareFailures, InfThatCannotBeCreated) {
  scratch_dir dir;
  ::CreateDirectoryA(dir.path().c_str(), nullptr);
  ASSERT_TRUE(::CreateDirectoryA(dir.file("taken.inf").c_str(), nullptr)) << wine_test::last_error();
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  log_capture log;
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "taken.inf", &o), WDI_ST_DENIED);
  EXPECT_TRUE(log.has("Velmor:error [wdi_prepare_driver] failed to create file: " + dir.file("taken.inf") + "\n"));
}

TEST(PrepareFailures, KindsOutsideTheTableAndTheUserKind) {
  scratch_dir dir;
  for (int kind : {-1, 5, 0x7FFFFFFF}) {
    wdi_prepare_options o = without_catalog(kind);
    log_capture log;
    EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "a.inf", &o), WDI_ST_BAD_PARAMETER) << kind;
    EXPECT_TRUE(log.has("Velmor:error [wdi_prepare_driver] unknown type\n")) << kind;
  }
  wdi_prepare_options user = without_catalog(DRIVER_KIND_USER);
  log_capture log;
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "u.inf", &user), WDI_ST_OK);
  EXPECT_TRUE(log.has("Velmor:warning [wdi_prepare_driver] unsupported or no driver type specified, will use WinUSB\n"));
  EXPECT_NE(utf16_bytes_to_utf8(read_file(dir.file("u.inf"))).find("Class       = \"USBDevice\""), std::string::npos);
  EXPECT_EQ(user.driver_kind, DRIVER_KIND_USER);
}

TEST(PrepareFailures, DeviceWithoutDescription) {
  scratch_dir dir;
  device nameless(0x2E3C, 0xF000, 0, "");
  nameless.entry.description = nullptr;
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  log_capture log;
  EXPECT_EQ(wdi_prepare_driver(nameless.get(), dir.path().c_str(), "a.inf", &o), WDI_ST_BAD_PARAMETER);
  EXPECT_TRUE(log.has("Velmor:error [wdi_prepare_driver] no device ID was given for the device - aborting\n"));
}

// Extraction allows a folder of 221 characters; the INF name may then have up to 37.
TEST(PrepareFailures, LongestFolderAndInfName) {
  scratch_dir base;
  std::string dir = base.path() + "\\";
  dir += std::string(221 - dir.size(), 'd');
  ASSERT_EQ(dir.size(), 221u);
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  std::string fits = std::string(33, 'n') + ".inf";
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.c_str(), fits.c_str(), &o), WDI_ST_OK);
  EXPECT_TRUE(exists(dir + "\\" + fits));
  std::string too_long = std::string(34, 'n') + ".inf";
  log_capture log;
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.c_str(), too_long.c_str(), &o), WDI_ST_NO_RESOURCE);
  EXPECT_TRUE(log.has("Velmor:error [wdi_prepare_driver] qualified path for inf file is too long: '" + dir + "\\" +
                      too_long + "\n"));
  EXPECT_FALSE(exists(dir + "\\" + too_long));
}

TEST(PrepareFailures, BusyWhileAnotherProcessPrepares) {
  scratch_dir dir;
  std::string tag = std::to_string(::GetCurrentProcessId());
  std::string ready_name = "velmor_prepare_ready_" + tag, release_name = "velmor_prepare_release_" + tag;
  velmor::unique_handle ready(::CreateEventA(nullptr, TRUE, FALSE, ready_name.c_str()));
  velmor::unique_handle release(::CreateEventA(nullptr, TRUE, FALSE, release_name.c_str()));
  ASSERT_TRUE(ready && release);

  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string cl = "\"" + wine_test::program_folder() + "prepare_mutex_holder.exe\" " + ready_name + " " + release_name;
  ASSERT_TRUE(::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) << wine_test::last_error();
  velmor::unique_handle process(pi.hProcess), thread(pi.hThread);
  ASSERT_EQ(::WaitForSingleObject(ready.get(), 30000), WAIT_OBJECT_0);

  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  DWORD started = ::GetTickCount();
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "a.inf", &o), WDI_ST_IN_USE);
  EXPECT_LT(::GetTickCount() - started, 10000u);  // no waiting for the holder, which keeps it 30 s
  EXPECT_FALSE(exists(dir.path()));

  ::SetEvent(release.get());
  ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  EXPECT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "a.inf", &o), WDI_ST_OK);
}
