// The payload's two co-installers, extracted and called as the system's device installer calls
// them: each exports the entry point the WinUSB INF names and answers every device-installation
// request with "nothing to do", passing a post-processing result through. (Wine's device installer
// gives no sign of calling co-installers, so they are called here directly.)
#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>

#include <string>

#include "engine/extract.h"
#include "engine/status.h"
#include "extraction_util.h"

using namespace extraction_test;

namespace {

typedef DWORD(WINAPI* coinstaller_entry)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

// DIF_SELECTDEVICE (1) to DIF_FINISHINSTALL_ACTION, the last request code the system sends.
const DI_FUNCTION kFirstRequest = DIF_SELECTDEVICE;
const DI_FUNCTION kLastRequest = 0x2A;

using CoInstallers = ScratchFolder;

TEST_F(CoInstallers, AnswerEveryRequestWithNothingToDoAndPassPostProcessingThrough) {
#if VELMOR_STANDIN_PAYLOAD
  ASSERT_EQ(extract_binaries(root_.c_str()), WDI_ST_OK);
  const std::string folder = root_ + (sizeof(void*) == 8 ? "\\amd64\\" : "\\x86\\");
  const struct {
    const char* file;
    const char* entry;
  } coinstallers[] = {{"WdfCoInstaller01011.dll", "WdfCoInstaller"}, {"winusbcoinstaller2.dll", "CoDeviceInstall"}};
  for (const auto& c : coinstallers) {
    std::string path = folder + c.file;
    HMODULE module = ::LoadLibraryExW(widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(module, nullptr) << path << ": error " << ::GetLastError();
    auto entry = reinterpret_cast<coinstaller_entry>(reinterpret_cast<void*>(::GetProcAddress(module, c.entry)));
    ASSERT_NE(entry, nullptr) << c.file << " does not export " << c.entry;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DI_FUNCTION code = kFirstRequest; code <= kLastRequest; ++code) {
      COINSTALLER_CONTEXT_DATA before = {FALSE, ERROR_DI_DO_DEFAULT, nullptr};
      EXPECT_EQ(entry(code, INVALID_HANDLE_VALUE, &device, &before), static_cast<DWORD>(NO_ERROR))
          << c.file << " request " << code;
      EXPECT_EQ(entry(code, INVALID_HANDLE_VALUE, nullptr, &before), static_cast<DWORD>(NO_ERROR))
          << c.file << " class request " << code;
      for (DWORD result : {static_cast<DWORD>(NO_ERROR), static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
                           static_cast<DWORD>(ERROR_DI_DO_DEFAULT)}) {
        COINSTALLER_CONTEXT_DATA after = {TRUE, result, nullptr};
        EXPECT_EQ(entry(code, INVALID_HANDLE_VALUE, &device, &after), result) << c.file << " request " << code;
      }
    }
    ::FreeLibrary(module);
  }
#else
  GTEST_SKIP() << "built with real payload files";
#endif
}

}  // namespace
