// The Windows side of the power-cut test (power_cut_test.sh), run in the test's own prefix:
//   power_cut_machine prepare   puts the stand-ins in place (device installer, catalog and signing,
//                               the local policy object), sets the restore setting to kSettingBefore
//                               and plants the probe
//   power_cut_machine state     prints what the tool left on the machine, one line per kind
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "machine_changes.h"
#include "policy_standin.h"
#include "probe_lab.h"
#include "protocol/restore_policy.h"
#include "test_support.h"

namespace {

const char kProbe[] = "C0DE5AFE";
// Neither absent nor the installer's 1: a put-back that deletes or leaves the value shows.
const DWORD kSettingBefore = 0;
const char kJournalKey[] = "SOFTWARE\\Velmor\\Driver installer journal";

bool register_policy_standin(const std::string& unix_path, REGSAM view) {
  const std::wstring path = wine_test::widen(wine_test::windows_path(unix_path));
  const std::wstring key_path = std::wstring(L"Software\\Classes\\CLSID\\") + POLICY_STANDIN_CLASS_ID + L"\\InprocServer32";
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const wchar_t model[] = L"Both";
  bool ok = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
            ::RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof(model)) ==
                ERROR_SUCCESS;
  ::RegCloseKey(key);
  return ok;
}

std::wstring settings_key() {
  return std::wstring(kPolicyStandinMachineKey) + L"\\" + wine_test::widen(VELMOR_RESTORE_SETTINGS_KEY);
}

bool set_restore_setting(DWORD value) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, settings_key().c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = ::RegSetValueExA(key, VELMOR_RESTORE_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value)) == ERROR_SUCCESS;
  ::RegFlushKey(key);
  ::RegCloseKey(key);
  return ok;
}

std::string restore_setting() {
  HKEY key = nullptr;
  LONG r = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, settings_key().c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
  DWORD value = 0;
  DWORD size = sizeof(value);
  DWORD type = 0;
  if (r == ERROR_SUCCESS) {
    r = ::RegQueryValueExA(key, VELMOR_RESTORE_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    ::RegCloseKey(key);
  }
  if (r == ERROR_FILE_NOT_FOUND) return "absent";
  if (r != ERROR_SUCCESS || type != REG_DWORD) return "(unreadable: " + std::to_string(r) + ")";
  return std::to_string(value);
}

// The records of things to undo; the certificates' records stay by design while they are trusted.
std::string journal_records() {
  std::string all;
  for (const char* section : {"Key containers", "Restore setting"}) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kJournalKey) + "\\" + section).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      continue;
    }
    for (DWORD index = 0;; ++index) {
      char name[256];
      char data[512] = {};
      DWORD name_length = sizeof(name);
      DWORD data_size = sizeof(data) - 1;
      if (::RegEnumValueA(key, index, name, &name_length, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                          &data_size) != ERROR_SUCCESS) {
        break;
      }
      all += std::string(section) + "\\" + name + "=" + data + " ";
    }
    ::RegCloseKey(key);
  }
  return all;
}

std::string or_none(const std::string& items) { return items.empty() ? "none" : items; }

int prepare() {
  bool ok = wine_test::place_system_module(wine_test::windows_path(NEWDEV_STANDIN_X64_UNIX_PATH), "newdev.dll", true);
  for (const char* built : {VELMOR_WINTRUST_STANDIN_UNIX_PATH, VELMOR_MSSIGN32_STANDIN_UNIX_PATH}) {
    const std::string path = wine_test::windows_path(built);
    ok = wine_test::place_system_module(path, path.substr(path.find_last_of('\\') + 1)) && ok;
  }
  // The app reads the setting in its own bitness, the installer switches it in the system's.
  ok = register_policy_standin(POLICY_STANDIN_UNIX_PATH, sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY) && ok;
  if (sizeof(void*) == 4) ok = register_policy_standin(POLICY_STANDIN_X64_UNIX_PATH, KEY_WOW64_64KEY) && ok;
  ok = set_restore_setting(kSettingBefore) && ok;
  velmor_lab::clear();
  velmor_lab::probe_spec probe;
  probe.instance = kProbe;
  ok = velmor_lab::plant_probe(probe) && ok;
  if (!ok) std::printf("prepare failed: %s\n", wine_test::last_error().c_str());
  return ok ? 0 : 1;
}

int state() {
  std::string installers;
  for (DWORD pid : wine_test::installers_running()) installers += std::to_string(pid) + " ";
  std::printf("protected folders: %s\n", or_none(wine_test::joined(wine_test::protected_folders())).c_str());
  std::printf("key containers: %s\n", or_none(wine_test::joined(wine_test::tool_key_containers())).c_str());
  std::printf("installers running: %s\n", or_none(installers).c_str());
  std::printf("restore setting: %s\n", restore_setting().c_str());
  std::printf("journal: %s\n", or_none(journal_records()).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "prepare") == 0) return prepare();
  if (argc == 2 && std::strcmp(argv[1], "state") == 0) return state();
  std::fprintf(stderr, "usage: power_cut_machine prepare|state\n");
  return 2;
}
