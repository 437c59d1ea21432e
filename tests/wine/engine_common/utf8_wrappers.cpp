// UTF-8 wrappers of wide Windows calls that only tests use (the product starts nothing through the
// shell and makes no folder tree in one call).
#include "utf8_wrappers.h"

#include <shlobj.h>

#include <cstring>

#include "engine/common/utf8.h"
#include "win/handles.h"
#include "win/utf8.h"

namespace {
using wide = velmor::unique_malloc<wchar_t>;
}

DWORD current_directory_utf8(char directory[MAX_PATH]) {
  wchar_t wdir[MAX_PATH];
  DWORD len = ::GetCurrentDirectoryW(MAX_PATH, wdir);
  if (len == 0 || len >= MAX_PATH) return 0;
  int written = ::WideCharToMultiByte(CP_UTF8, 0, wdir, -1, directory, MAX_PATH, nullptr, nullptr);
  return written > 0 ? static_cast<DWORD>(written) : 0;
}

int create_directory_utf8(const char* path, const SECURITY_ATTRIBUTES* security) {
  wide wpath(utf8_to_utf16(path));
  return ::SHCreateDirectoryExW(nullptr, wpath.get(), security);
}

BOOL shell_execute_utf8(SHELLEXECUTEINFOA* info) {
  if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
    ::SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  wide verb(utf8_to_utf16(info->lpVerb));
  wide file(utf8_to_utf16(info->lpFile));
  wide parameters(utf8_to_utf16(info->lpParameters));
  wide directory(utf8_to_utf16(info->lpDirectory));
  wide class_name((info->fMask & SEE_MASK_CLASSNAME) ? utf8_to_utf16(info->lpClass) : nullptr);

  SHELLEXECUTEINFOW w = {};
  w.cbSize = sizeof(w);
  w.fMask = info->fMask;
  w.hwnd = info->hwnd;
  w.lpVerb = verb.get();
  w.lpFile = file.get();
  w.lpParameters = parameters.get();
  w.lpDirectory = directory.get();
  w.nShow = info->nShow;
  w.lpIDList = info->lpIDList;
  w.lpClass = class_name.get();
  w.hkeyClass = info->hkeyClass;
  w.dwHotKey = info->dwHotKey;
  w.hIcon = info->hIcon;
  w.hProcess = info->hProcess;

  BOOL ok = ::ShellExecuteExW(&w);
  velmor::preserve_last_error keep;
  info->hInstApp = w.hInstApp;
  info->hProcess = w.hProcess;
  return ok;
}

BOOL create_process_utf8(const char* command_line, const char* current_directory,
                                    STARTUPINFOA* startup, PROCESS_INFORMATION* process) {
  if (startup == nullptr || startup->cb != sizeof(STARTUPINFOA)) {
    ::SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  wide wcommand(utf8_to_utf16(command_line));
  wide wdirectory(utf8_to_utf16(current_directory));
  wide desktop(utf8_to_utf16(startup->lpDesktop));
  wide title(utf8_to_utf16(startup->lpTitle));

  STARTUPINFOW si = {};
  std::memcpy(&si, startup, sizeof(si));  // same layout, string pointers replaced below
  si.cb = sizeof(si);
  si.lpReserved = nullptr;
  si.lpDesktop = desktop.get();
  si.lpTitle = title.get();

  return ::CreateProcessW(nullptr, wcommand.get(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         wdirectory.get(), &si, process);
}
