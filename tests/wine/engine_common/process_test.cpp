// The installer process's exit code as an engine status, and system modules loaded once and
// never freed.
#include <gtest/gtest.h>

#include <string>

#include "engine/common/status.h"
#include "engine/common/system.h"
#include "test_support.h"
#include "win/handles.h"

namespace {
int status_of_child_exiting_with(unsigned code) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string cl = "cmd.exe /c exit " + std::to_string(code);
  if (!wine_test::start_with_retries([&] {
        return ::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                                &pi) != FALSE;
      })) {
    ADD_FAILURE() << cl << ": " << wine_test::last_error();
    return 12345;
  }
  velmor::unique_handle process(pi.hProcess), thread(pi.hThread);
  ::WaitForSingleObject(process.get(), 30000);
  return process_exit_status(process.get());
}
}  // namespace

TEST(ProcessExitStatus, MapsExitCodesToStatuses) {
  EXPECT_EQ(status_of_child_exiting_with(0), WDI_ST_OK);
  EXPECT_EQ(status_of_child_exiting_with(259), WDI_ST_TIMED_OUT);
  EXPECT_EQ(status_of_child_exiting_with(1), WDI_ST_OTHER);
}

TEST(ProcessExitStatus, UnreadableCodeIsOtherError) {
  EXPECT_EQ(process_exit_status(nullptr), WDI_ST_OTHER);
}

TEST(SystemModules, LoadsOnceAndFindsLoadedModules) {
  HMODULE k = load_system_module("Kernel32");
  EXPECT_EQ(k, ::GetModuleHandleA("kernel32.dll"));
  HMODULE v = load_system_module("version.dll");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(load_system_module("version.dll"), v);
  EXPECT_EQ(load_system_module("no_such_velmor_module.dll"), nullptr);
}
