// The compatibility assistant's "already handled" mark for this program, so that it does not ask
// the user after the first run. Written only where the assistant keeps its key; never created.
#include "app/DriverInstallDlg.h"
#include "win/handles.h"

bool CVelmor_DFU_DriverInstallDlg::WriteCompatibilityMarker() {
  velmor::unique_hkey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted",
                      0, KEY_READ | KEY_WRITE, key.put()) != ERROR_SUCCESS)
    return false;
  char path[MAX_PATH] = {};
  DWORD len = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  // A path cut at the buffer's end would name another file: no mark then.
  if (len == 0 || len >= MAX_PATH) return false;
  const DWORD one = 1;
  return ::RegSetValueExA(key.get(), path, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one)) ==
         ERROR_SUCCESS;
}
