// The machine-wide busy mutexes: a second caller gets -6 at once, from this or another process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "engine/device_list.h"
#include "engine/status.h"
#include "engine/win_raii.h"
#include "test_support.h"

namespace {

// Plays an operation in progress elsewhere by holding its mutex.
velmor::unique_handle hold(const char* name) {
  velmor::unique_handle h(::CreateMutexA(nullptr, TRUE, name));
  EXPECT_TRUE(h);
  EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  return h;
}

long child(const char* operation, DWORD* elapsed_ms) {
  DWORD start = ::GetTickCount();
  long code = wine_test::run_and_wait(wine_test::program_folder() + "enumeration_busy_child.exe " + operation);
  *elapsed_ms = ::GetTickCount() - start;
  return code;
}

}  // namespace

TEST(BusyMutex, SecondEnumerationFailsAtOnceAndLeavesTheListAlone) {
  velmor::unique_handle held = hold("Global\\wdi_create_list");
  wdi_device_entry* const sentinel = reinterpret_cast<wdi_device_entry*>(0x20);
  wdi_device_entry* list = sentinel;
  EXPECT_EQ(wdi_create_list(&list, nullptr), WDI_ST_IN_USE);
  EXPECT_EQ(list, sentinel);

  DWORD elapsed = 0;
  EXPECT_EQ(child("create", &elapsed), 6);  // -WDI_ST_IN_USE, list untouched
  EXPECT_LT(elapsed, 20000u);               // a start-up under load, not a wait for the mutex

  held.reset();
  list = nullptr;
  int status = wdi_create_list(&list, nullptr);
  EXPECT_TRUE(status == WDI_ST_OK || status == WDI_ST_DEVICE_ABSENT) << status;
  EXPECT_EQ(wdi_destroy_list(list), WDI_ST_OK);
}

TEST(BusyMutex, FreeingWhileAnotherProcessFreesIsRefused) {
  wdi_device_entry* entry = static_cast<wdi_device_entry*>(std::calloc(1, sizeof(wdi_device_entry)));
  ASSERT_NE(entry, nullptr);
  {
    velmor::unique_handle held = hold("Global\\wdi_destroy_list");
    EXPECT_EQ(wdi_destroy_list(entry), WDI_ST_IN_USE);
    DWORD elapsed = 0;
    EXPECT_EQ(child("destroy", &elapsed), 6);
    // Freeing and listing do not exclude each other.
    wdi_device_entry* list = nullptr;
    EXPECT_NE(wdi_create_list(&list, nullptr), WDI_ST_IN_USE);
    held.reset();
    EXPECT_EQ(wdi_destroy_list(list), WDI_ST_OK);
  }
  // The refused call freed nothing: the entry is still ours to use and free.
  entry->description = static_cast<char*>(std::malloc(4));
  EXPECT_EQ(wdi_destroy_list(entry), WDI_ST_OK);
}
