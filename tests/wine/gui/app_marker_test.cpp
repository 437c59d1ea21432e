// The compatibility marker the dialog writes at start: only into an existing key, named by the
// program's full path, DWORD 1; never a key of its own.
#include <gtest/gtest.h>

#include <string>

#include "gui_driver.h"

namespace {

const char kAppCompat[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags";
const char kAssistant[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant";
const char kPersisted[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";

bool key_exists(const char* path) { return wine_test::registry_key_exists(HKEY_CURRENT_USER, path); }

std::string full_path(const std::string& p) {
  char out[MAX_PATH] = {};
  ::GetFullPathNameA(p.c_str(), MAX_PATH, out, nullptr);
  return out;
}

// Values under the Persisted key whose name is the app's path (compared without case).
int marker_values(const std::string& exe, DWORD* data) {
  HKEY k = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kPersisted, 0, KEY_READ, &k) != ERROR_SUCCESS) return 0;
  int found = 0;
  for (DWORD i = 0;; ++i) {
    char name[1024] = {};
    DWORD name_len = sizeof(name);
    DWORD type = 0, value = 0, size = sizeof(value);
    LONG r = ::RegEnumValueA(k, i, name, &name_len, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) continue;
    if (lstrcmpiA(name, exe.c_str()) == 0) {
      ++found;
      EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
      EXPECT_EQ(4u, size);
      *data = value;
    }
  }
  ::RegCloseKey(k);
  return found;
}

// Runs the app until its dialog is up, then closes it.
void run_app_once() {
  gui::App app;
  ASSERT_TRUE(app.start());
  EXPECT_EQ(0, app.close());
}

// Leaves the registry as it found it: removes the part of the key path that the test created.
class Marker : public ::testing::Test {
 protected:
  void SetUp() override {
    had_appcompat = key_exists(kAppCompat);
    had_assistant = key_exists(kAssistant);
    had_persisted = key_exists(kPersisted);
    exe = full_path(gui::app_exe_path());
  }
  void TearDown() override {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kPersisted, 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
      ::RegDeleteValueA(k, exe.c_str());
      ::RegCloseKey(k);
    }
    if (!had_persisted) ::RegDeleteKeyA(HKEY_CURRENT_USER, kPersisted);
    if (!had_assistant) ::RegDeleteKeyA(HKEY_CURRENT_USER, kAssistant);
    if (!had_appcompat) ::RegDeleteKeyA(HKEY_CURRENT_USER, kAppCompat);
  }
  bool had_appcompat = false, had_assistant = false, had_persisted = false;
  std::string exe;
};

TEST_F(Marker, NothingIsCreatedWithoutTheKey) {
  if (had_persisted) GTEST_SKIP() << "the prefix already has the assistant's key";
  run_app_once();
  EXPECT_FALSE(key_exists(kPersisted));
  EXPECT_EQ(had_assistant, key_exists(kAssistant));
}

TEST_F(Marker, WrittenUnderTheFullPathAndAgainOnTheNextStart) {
  HKEY k = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kPersisted, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
  ::RegDeleteValueA(k, exe.c_str());
  ::RegCloseKey(k);

  run_app_once();
  DWORD data = 0;
  EXPECT_EQ(1, marker_values(exe, &data)) << exe;
  EXPECT_EQ(1u, data);

  // A changed value is put back to 1 by the next start; still one value.
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kPersisted, 0, KEY_SET_VALUE, &k));
  DWORD zero = 0;
  ::RegSetValueExA(k, exe.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof(zero));
  ::RegCloseKey(k);
  run_app_once();
  data = 0;
  EXPECT_EQ(1, marker_values(exe, &data));
  EXPECT_EQ(1u, data);
}

}  // namespace
