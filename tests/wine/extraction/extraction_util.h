// Scratch folders and file helpers for the extraction tests.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/win_raii.h"
#include "test_support.h"

namespace extraction_test {

using wine_test::exists;
using wine_test::is_directory;
using wine_test::list_files;
using wine_test::narrow;
using wine_test::remove_tree;
using wine_test::widen;
using wine_test::write_file;

// A missing file never equals an entry's bytes, not even empty ones.
inline std::string read_file(const std::string& path) {
  return exists(path) ? wine_test::read_file(path) : std::string("<missing>");
}

// A fresh folder under the system temp folder, removed with the fixture.
class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = folder_.path();
    ASSERT_TRUE(is_directory(root_)) << root_;
  }
  wine_test::temp_folder folder_{"extract"};
  std::string root_;
};

// The owner of a file or folder, compared with the current user's SID.
inline bool owned_by(const std::string& path, PSID expected) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring w = widen(path);
  DWORD rc = ::GetNamedSecurityInfoW(w.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                     nullptr, nullptr, &descriptor);
  velmor::unique_hlocal guard(descriptor);
  return rc == ERROR_SUCCESS && owner != nullptr && ::EqualSid(owner, expected);
}

}  // namespace extraction_test
