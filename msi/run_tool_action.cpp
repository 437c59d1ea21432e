// The MSI's deferred custom actions: run the installed tool with the command the package hands over
// in CustomActionData, and put its exit code in the installer service's terms. An exe custom action
// cannot do this: the service counts every exit code but 0 as a failure, so the tool's 3010 would
// roll the installation back instead of asking for a restart.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "win/handles.h"

namespace {

constexpr DWORD kRestartNeeded = 3010;

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  wchar_t none[1] = L"";
  DWORD size = 0;
  if (::MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA) return std::wstring();
  std::vector<wchar_t> value(size + 1);
  size = static_cast<DWORD>(value.size());
  if (::MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return std::wstring();
  return std::wstring(value.data(), size);
}

// One line in the installation's log (msiexec /l*v).
void Log(MSIHANDLE install, const std::wstring& text) {
  MSIHANDLE record = ::MsiCreateRecord(0);
  if (record == 0) return;
  ::MsiRecordSetStringW(record, 0, text.c_str());
  ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  ::MsiCloseHandle(record);
}

}  // namespace

// CustomActionData: "<full path of the tool>" followed by its arguments. The path is the
// application name, so that nothing is searched for; it lies in the package's folder under Program
// Files, which only administrators can change.
extern "C" __declspec(dllexport) UINT __stdcall RunTool(MSIHANDLE install) {
  std::wstring command = Property(install, L"CustomActionData");
  size_t end = command.size() > 1 && command[0] == L'"' ? command.find(L'"', 1) : std::wstring::npos;
  if (end == std::wstring::npos) {
    Log(install, L"Velmor: no tool command in CustomActionData");
    return ERROR_INSTALL_FAILURE;
  }
  std::wstring tool = command.substr(1, end - 1);
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(tool.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &started)) {
    Log(install, L"Velmor: the tool could not be started: error " + std::to_wstring(::GetLastError()));
    return ERROR_INSTALL_FAILURE;
  }
  velmor::unique_handle process(started.hProcess);
  velmor::unique_handle thread(started.hThread);
  DWORD exit_code = 1;
  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.get(), &exit_code)) {
    exit_code = 1;
  }
  Log(install, L"Velmor: " + command + L" exited with " + std::to_wstring(exit_code));
  if (exit_code == kRestartNeeded) {
    ::MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    return ERROR_SUCCESS;
  }
  return exit_code == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}
