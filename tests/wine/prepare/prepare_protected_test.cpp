// The preparation's own folder: what is hashed, signed and installed are the bytes the engine
// wrote there, whatever happens to the user's copy in the meantime. The user's files are changed
// from the engine's log receiver at a fixed point (right after the user's copy was written).
#include <aclapi.h>
#include <sddl.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "payload/payload_table.h"
#include "prepare_test_util.h"
#include "standin_session.h"

using namespace prepare_test;

namespace {

const device winusb(0x2E3C, 0xF000, 3, "Korvex-WinUSB");

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string sha1_hex(const void* data, size_t size) {
  HCRYPTPROV prov = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[20];
  DWORD length = sizeof(digest);
  std::string out;
  if (::CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      ::CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash) &&
      ::CryptHashData(hash, static_cast<const BYTE*>(data), static_cast<DWORD>(size), 0) &&
      ::CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0)) {
    char hex[3];
    for (DWORD i = 0; i < length; i++) {
      std::snprintf(hex, sizeof(hex), "%02X", digest[i]);
      out += hex;
    }
  }
  if (hash != 0) ::CryptDestroyHash(hash);
  if (prov != 0) ::CryptReleaseContext(prov, 0);
  return out;
}

const payload_entry* entry_at(const char* subdir, const char* name) {
  for (const payload_entry& e : payload_table)
    if (std::strcmp(e.subdir, subdir) == 0 && std::strcmp(e.file_name, name) == 0) return &e;
  return nullptr;
}

// The user's package folder while a preparation runs; the receiver overwrites and plants there.
std::string user_folder;
bool tampered = false;

void tamper(int, const char* line) {
  if (tampered || std::strstr(line, "successfully extracted driver files to") == nullptr) return;
  tampered = true;
  for (const char* name : {"installer_x64.exe", "installer_x86.exe", "x86\\WdfCoInstaller01011.dll",
                           "amd64\\WdfCoInstaller01011.dll", "x86\\winusbcoinstaller2.dll"}) {
    wine_test::write_file(user_folder + "\\" + name, "planted");
  }
  ::CreateDirectoryA((user_folder + "\\x").c_str(), nullptr);
  wine_test::write_file(user_folder + "\\x\\WdfCoInstaller01011.dll", "planted co-installer");
  wine_test::write_file(user_folder + "\\second.inf", "planted inf");
}

class ProtectedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standin::standin_session::loaded()) << "stand-in DLLs not in use";
    user_folder = dir.path();
    tampered = false;
    engine_log_set_receiver(tamper);
  }
  void TearDown() override { engine_log_set_receiver(nullptr); }

  // The folder the catalog was made in, from the stand-in's record.
  std::string own_folder() {
    auto opened = session.calls("CryptCATOpen");
    if (opened.empty()) return "";
    std::string path = opened[0]["path"];
    return path.substr(0, path.find_last_of('\\'));
  }

  scratch_dir dir;
  standin::standin_session session;
};

}  // namespace

TEST_F(ProtectedFolder, CatalogHashesAndSignsTheEnginesOwnBytesOnly) {
  if (!vista_or_later()) GTEST_SKIP() << "no catalogs before Vista";
  wdi_prepare_options o = options_for(DRIVER_KIND_WINUSB);
  // The log receiver is the tampering hook here: the log goes to the streams alone.
  ASSERT_EQ(wdi_prepare_driver(winusb.get(), dir.path().c_str(), "Korvex-WinUSB.inf", &o), WDI_ST_OK);
  ASSERT_TRUE(tampered);

  // Exactly the four driver files the preparation wrote and its INF, with the payload's bytes.
  std::vector<std::string> expected;
  for (const char* sub : {"x86", "amd64"}) {
    for (const char* name : {"WdfCoInstaller01011.dll", "winusbcoinstaller2.dll"}) {
      const payload_entry* e = entry_at(sub, name);
      ASSERT_NE(e, nullptr);
      expected.push_back(sha1_hex(e->data, e->size));
    }
  }
  std::string inf = read_file(dir.file("Korvex-WinUSB.inf"));
  expected.push_back(sha1_hex(inf.data(), inf.size()));
  std::vector<std::string> hashed;
  for (auto& c : session.calls("CryptCATAdminCalcHashFromFileHandle")) hashed.push_back(upper(c["hash"]));
  std::sort(expected.begin(), expected.end());
  std::sort(hashed.begin(), hashed.end());
  EXPECT_EQ(hashed, expected);

  // Signed there, in a new folder of the Windows folder's Temp that only administrators and the
  // system account may use.
  std::string own = own_folder();
  char windows[MAX_PATH];
  ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
  // Any spelling of Temp: the engine takes the one on disk.
  const std::string prefix = std::string(windows) + "\\Temp\\Velmor-";
  EXPECT_EQ(_strnicmp(own.c_str(), prefix.c_str(), prefix.size()), 0) << own;
  EXPECT_EQ(own.size(), std::strlen(windows) + std::strlen("\\Temp\\Velmor-") + 32) << own;
  auto signs = session.calls("SignerSignEx");
  ASSERT_EQ(signs.size(), 1u);
  EXPECT_EQ(signs[0]["file"], own + "\\Korvex-WinUSB.cat");
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL dacl = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoA(own.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &sd),
            static_cast<DWORD>(ERROR_SUCCESS));
  char* text = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                     &text, nullptr));
  // Wine keeps of a folder's DACL what Unix mode bits hold: no entry for anyone else is left.
  std::string sddl = text;
  if (sddl != "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)") {
    for (const char* other : {";WD)", ";BU)", ";AU)", ";IU)"}) EXPECT_EQ(sddl.find(other), std::string::npos) << sddl;
  }
  ::LocalFree(text);
  ::LocalFree(sd);

  // The engine's copies kept their bytes; the user's copies are the user's.
  const payload_entry* installer = entry_at(".", "installer_x64.exe");
  ASSERT_NE(installer, nullptr);
  EXPECT_EQ(read_file(own + "\\installer_x64.exe"),
            std::string(reinterpret_cast<const char*>(installer->data), installer->size));
  EXPECT_EQ(read_file(dir.file("installer_x64.exe")), "planted");
  EXPECT_TRUE(exists(dir.file("Korvex-WinUSB.cat")));
}

#ifdef LOOPED_PACKAGE_DIR
// Two Unix symbolic links inside the package lead back to it (Wine shows them as reparse points):
// nothing walks them, so the preparation ends.
TEST(ProtectedFolderLinks, LinksBackIntoThePackageDoNotHangThePreparation) {
  ASSERT_TRUE(standin::standin_session::loaded());
  standin::standin_session session;
  std::string package = wine_test::windows_path(LOOPED_PACKAGE_DIR);
  wdi_prepare_options o = options_for(DRIVER_KIND_WINUSB);
  log_capture log;
  EXPECT_EQ(wdi_prepare_driver(winusb.get(), package.c_str(), "Korvex-WinUSB.inf", &o), WDI_ST_OK) << log.text();
  size_t expected = vista_or_later() ? 5u : 0u;
  EXPECT_EQ(session.calls("CryptCATAdminCalcHashFromFileHandle").size(), expected);
}
#endif
