// Catalog creation against the recording wintrust stand-in: every catalog call and its arguments.
#include <windows.h>
#include <wincrypt.h>
#include <mssip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "catalog_test_util.h"
#include "engine/common/log.h"
#include "engine/signing/catalog.h"
#include "standin_session.h"

using cat_test::capture_log;
using cat_test::captured_log;
using cat_test::scratch_folder;
using standin::call;
using standin::standin_session;

namespace {

const char kFlags[] = "10010001";  // authenticated, value and name as text
const char kPeGuid[] = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}";
const char kInfGuid[] = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}";
// "<<<Obsolete>>>" as a BMPString body (UTF-16 big-endian).
const std::string kObsoleteBmp = "003C003C003C004F00620073006F006C006500740065003E003E003E";

std::string utf16_hex_with_terminator(const std::string& ascii) {
  std::string out;
  char buf[8];
  for (char c : ascii) {
    snprintf(buf, sizeof(buf), "%02X00", static_cast<unsigned char>(c));
    out += buf;
  }
  return out + "0000";
}

class CatalogTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standin_session::loaded()) << "run with WINEDLLOVERRIDES=wintrust,mssign32=n,b";
    engine_log_level = LOG_DEBUG;
  }
  void TearDown() override {
    engine_log_level = LOG_INFO;
    if (HasFailure()) {
      std::ifstream in(record_.path());
      std::cout << "record:\n" << in.rdbuf() << "log:\n" << log_.lines;
    }
  }

  // CreateCat over the scratch folder with these members; the log is kept in log_.
  int create(const std::vector<const char*>& members, const char* hwid = "USB\\VID_2E3C&PID_F000&MI_00") {
    int result = 0;
    std::vector<const char*> list = members;
    log_ = capture_log([&] {
      result = CreateCat(cat_path().c_str(), hwid, pkg_.path().c_str(), list.empty() ? nullptr : list.data(),
                         static_cast<DWORD>(list.size()));
    });
    return result;
  }
  std::string cat_path() const { return pkg_ / "Korvex-USART.cat"; }

  standin_session record_;
  scratch_folder pkg_{"cat"};
  captured_log log_;
};

TEST_F(CatalogTest, ListsTheInfAndADriverOfBothArchitecturesWithTheirAttributes) {
  pkg_.write("Korvex-USART.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
  pkg_.write("x86\\libusb0.sys", "driver for x86");
  pkg_.write("amd64\\libusb0.sys", "driver for amd64");
  pkg_.write("amd64\\libusb0.dll", "not listed");
  pkg_.write("license.txt", "not listed either");

  ASSERT_TRUE(create({"Korvex-USART.inf", "libusb0.sys"}));

  auto open = record_.calls("CryptCATOpen");
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0]["path"], cat_path());
  EXPECT_EQ(open[0]["flags"], "00000001");  // create new
  EXPECT_EQ(open[0]["prov_given"], "1");
  EXPECT_EQ(open[0]["version"], "0");
  EXPECT_EQ(open[0]["encoding"], "00000000");

  auto cat_attrs = record_.calls("CryptCATPutCatAttrInfo");
  ASSERT_EQ(cat_attrs.size(), 2u);
  EXPECT_EQ(cat_attrs[0]["name"], "HWID1");
  EXPECT_EQ(cat_attrs[0]["text"], "usb\\vid_2e3c&pid_f000&mi_00");
  EXPECT_EQ(cat_attrs[0]["value"], utf16_hex_with_terminator("usb\\vid_2e3c&pid_f000&mi_00"));
  EXPECT_EQ(cat_attrs[0]["size"], std::to_string((27 + 1) * 2));
  EXPECT_EQ(cat_attrs[1]["name"], "OS");
  EXPECT_EQ(cat_attrs[1]["text"],
            "XP_X86,XP_X64,Vista_X86,Vista_X64,7_X86,7_X64,8_X86,8_X64,8_ARM,10_X86,10_X64,10_ARM");
  for (auto& a : cat_attrs) {
    EXPECT_EQ(a["flags"], kFlags);
  }

  // Members in scan order; each followed by its "File" and "OSAttr" attributes.
  std::vector<call> all = record_.calls();
  std::vector<std::string> files;
  for (size_t i = 0; i < all.size(); i++) {
    if (all[i]["fn"] != "CryptCATPutMemberInfo") continue;
    call& m = all[i];
    ASSERT_LT(i + 2, all.size());
    call& file = all[i + 1];
    call& os = all[i + 2];
    ASSERT_EQ(file["fn"], "CryptCATPutAttrInfo");
    ASSERT_EQ(os["fn"], "CryptCATPutAttrInfo");
    EXPECT_EQ(file["member"], m["tag"]);
    EXPECT_EQ(file["name"], "File");
    EXPECT_EQ(file["flags"], kFlags);
    EXPECT_EQ(os["member"], m["tag"]);
    EXPECT_EQ(os["name"], "OSAttr");
    EXPECT_EQ(os["text"], "2:5.1,2:5.2,2:6.0,2:6.1");
    EXPECT_EQ(os["flags"], kFlags);
    files.push_back(file["text"]);

    EXPECT_EQ(m["file"], "(null)");
    EXPECT_EQ(m["tag"].size(), 40u);
    EXPECT_EQ(m["tag"], m["digest"]);  // upper-case hex of the hash itself
    EXPECT_EQ(m["version"], "00000200");
    EXPECT_EQ(m["size"], std::to_string(sizeof(SIP_INDIRECT_DATA)));
    EXPECT_EQ(m["digest_oid"], "1.3.14.3.2.26");
    EXPECT_EQ(m["digest_params"], "0");
    bool inf = file["text"] == "korvex-usart.inf";
    EXPECT_EQ(m["subject"], inf ? kInfGuid : kPeGuid);
    EXPECT_EQ(m["data_oid"], inf ? "1.3.6.1.4.1.311.2.1.25" : "1.3.6.1.4.1.311.2.1.15");
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"korvex-usart.inf", "libusb0.sys", "libusb0.sys"}));

  // The hashes are those of the files found in each place.
  std::vector<std::string> digests;
  for (auto& m : record_.calls("CryptCATPutMemberInfo")) digests.push_back(m["digest"]);
  for (const char* content : {"driver for x86", "driver for amd64"}) {
    EXPECT_NE(std::find(digests.begin(), digests.end(), cat_test::sha1_hex(content)), digests.end()) << content;
  }

  auto persist = record_.calls("CryptCATPersistStore");
  ASSERT_EQ(persist.size(), 1u);
  EXPECT_EQ(persist[0]["members"], "3");
  EXPECT_EQ(record_.calls("CryptCATClose").size(), 1u);

  EXPECT_TRUE(log_.has("Velmor:info [ScanDirAndHash] added hash for '" + (pkg_ / "x86\\libusb0.sys") + "'"));
  EXPECT_TRUE(log_.has("Velmor:info [ScanDirAndHash] added hash for '" + (pkg_ / "amd64\\libusb0.sys") + "'"));
  EXPECT_TRUE(log_.has("Velmor:debug [AddFileHash] 'korvex-usart.inf': INF type"));
  EXPECT_TRUE(log_.has("Velmor:info [CreateCat] successfully created file '" + cat_path() + "'"));

  // For openssl on the Linux side (see catalog_openssl.sh).
  char keep[MAX_PATH];
  if (::GetEnvironmentVariableA("VELMOR_KEEP_CATALOG", keep, MAX_PATH) > 0) {
    EXPECT_TRUE(::CopyFileA(cat_path().c_str(), keep, FALSE)) << wine_test::last_error();
  }
}

// Indirect data, decoded by hand:
//   PE:  30 26                 SEQUENCE (SpcPeImageData)
//          03 02 00 A0         BIT STRING, 0 unused bits, flags A0
//          A0 20               [0] file
//            A2 1E             [2] file link
//              80 1C <28>      [0] BMPString "<<<Obsolete>>>"
//   INF: A2 1E 80 1C <28>      the file link alone
TEST_F(CatalogTest, EncodesIndirectDataOfPeAndInfMembersAsWindowsExpects) {
  pkg_.write("Korvex-WinUSB.inf", "inf");
  pkg_.write("WdfCoInstaller01011.dll", "co-installer");
  ASSERT_TRUE(create({"Korvex-WinUSB.inf", "WdfCoInstaller01011.dll"}));
  auto members = record_.calls("CryptCATPutMemberInfo");
  ASSERT_EQ(members.size(), 2u);
  for (auto& m : members) {
    if (m["subject"] == kPeGuid) {
      EXPECT_EQ(m["data_value"], "3026030200A0A020A21E801C" + kObsoleteBmp);
    } else {
      EXPECT_EQ(m["data_value"], "A21E801C" + kObsoleteBmp);
    }
  }
}

TEST_F(CatalogTest, MatchesMemberNamesRegardlessOfCase) {
  pkg_.write("Korvex-USART.inf", "inf");
  pkg_.write("X86\\LIBUSB0.SYS", "driver");
  ASSERT_TRUE(create({"KORVEX-USART.INF", "LibUsb0.Sys"}));
  std::vector<std::string> names;
  for (auto& a : record_.calls("CryptCATPutAttrInfo"))
    if (a["name"] == "File") names.push_back(a["text"]);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"korvex-usart.inf", "libusb0.sys"}));
}

TEST_F(CatalogTest, LeavesOutAListedTextFileButStillMakesTheCatalog) {
  pkg_.write("Korvex-USART.inf", "inf");
  pkg_.write("license.txt", "licence");
  pkg_.write("README", "no extension");
  ASSERT_TRUE(create({"license.txt", "README", "Korvex-USART.inf"}));
  EXPECT_EQ(record_.calls("CryptCATPutMemberInfo").size(), 1u);
  EXPECT_TRUE(log_.has("Velmor:warning [AddFileHash] unhandled file type: 'license.txt' - ignoring"));
  EXPECT_TRUE(log_.has("Velmor:warning [ScanDirAndHash] could not add hash for '" + (pkg_ / "license.txt") +
                       "' - ignored"));
  EXPECT_TRUE(log_.has("Velmor:warning [AddFileHash] unhandled file type: 'readme' - ignoring"));
  EXPECT_EQ(record_.calls("CryptCATPersistStore").size(), 1u);
}

TEST_F(CatalogTest, EmptyMemberListGivesACatalogWithOnlyItsTwoAttributes) {
  pkg_.write("Korvex-USART.inf", "inf");
  ASSERT_TRUE(create({}));
  EXPECT_EQ(record_.calls("CryptCATPutCatAttrInfo").size(), 2u);
  EXPECT_EQ(record_.calls("CryptCATPutMemberInfo").size(), 0u);
  EXPECT_EQ(record_.calls("CryptCATPersistStore")[0]["members"], "0");
}

TEST_F(CatalogTest, TooLongFolderFailsWithAMessageOnStandardErrorOnly) {
  std::string folder = pkg_.path() + "\\" + std::string(250, 'k');
  int result = 1;
  // This one message is written to standard error itself, not through the engine's log.
  testing::internal::CaptureStderr();
  log_ = capture_log([&] {
    const char* members[] = {"Korvex-USART.inf"};
    result = CreateCat(cat_path().c_str(), "USB\\VID_2E3C&PID_F000", folder.c_str(), members, 1);
  });
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(result);
  EXPECT_EQ(err, "Unable to get full path for '" + folder + "'.\n");
  EXPECT_EQ(log_.lines, "");
  EXPECT_TRUE(record_.calls("CryptCATPersistStore").empty());
  EXPECT_EQ(record_.calls("CryptCATClose").size(), 1u);
}

TEST_F(CatalogTest, BasePathTakesBackslashesAndTheFullPath) {
  std::string forward = pkg_.path();
  std::replace(forward.begin(), forward.end(), '\\', '/');
  ASSERT_TRUE(set_catalog_base_path((forward + "/sub/..").c_str()));
  EXPECT_STREQ(catalog_base_path, pkg_.path().c_str());
  EXPECT_FALSE(set_catalog_base_path(nullptr));
}

// Folders nested beyond what the path buffers hold are reported and skipped, never overrun.
TEST_F(CatalogTest, DeepFoldersBeyondThePathLimitAreSkippedWithAWarning) {
  pkg_.write("Korvex-USART.inf", "inf");
  std::wstring deep = L"\\\\?\\" + wine_test::widen(pkg_.path());
  std::string segment(60, 'd');
  for (int i = 0; i < 5; i++) {
    deep += L"\\" + wine_test::widen(segment);
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr)) << wine_test::last_error();
  }
  HANDLE f = ::CreateFileW((deep + L"\\libusb0.sys").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << wine_test::last_error();
  ::CloseHandle(f);

  ASSERT_TRUE(create({"Korvex-USART.inf", "libusb0.sys"}));
  EXPECT_GE(log_.count("Velmor:warning [ScanDirAndHash] path overflow\n"), 1u);
  EXPECT_EQ(record_.calls("CryptCATPutMemberInfo").size(), 1u);
}

TEST_F(CatalogTest, EachCatalogCallFailureTakesItsOwnPath) {
  pkg_.write("Korvex-USART.inf", "inf");
  pkg_.write("x86\\libusb0.sys", "driver");
  // members: what the catalog holds when written ("" when it is not written).
  struct step {
    const char* fail;
    int result;
    const char* line;
    const char* members;
  } steps[] = {
      {"CryptCATOpen", FALSE, "Velmor:warning [CreateCat] unable to create file '", ""},
      {"CryptCATPutCatAttrInfo#1", FALSE, "Velmor:warning [CreateCat] failed to set HWID1 cat attribute: ", ""},
      {"CryptCATPutCatAttrInfo#2", FALSE, "Velmor:warning [CreateCat] failed to set OS cat attribute: ", ""},
      {"CryptCATPutMemberInfo#1", TRUE, "Velmor:warning [AddFileHash] unable to create cat entry for file '", "1"},
      // A member whose attributes fail stays in the catalog, without them.
      {"CryptCATPutAttrInfo#2", TRUE, "Velmor:warning [AddFileHash] unable to create attributes for file '", "2"},
      {"CryptCATAdminCalcHashFromFileHandle#1", TRUE, "Velmor:warning [ScanDirAndHash] could not add hash for '",
       "1"},
      {"CryptCATPersistStore", FALSE, "Velmor:warning [CreateCat] unable to sort file: ", ""},
  };
  for (const step& s : steps) {
    standin_session session;
    session.fail(s.fail);
    EXPECT_EQ(create({"Korvex-USART.inf", "libusb0.sys"}), s.result) << s.fail;
    EXPECT_EQ(log_.count(s.line), 1u) << s.fail << "\n" << log_.lines;
    size_t opened = 0;
    for (auto& c : session.calls("CryptCATOpen")) opened += c["result"] == "ok";
    EXPECT_EQ(session.calls("CryptCATClose").size(), opened) << s.fail;
    auto persist = session.calls("CryptCATPersistStore");
    if (*s.members != '\0') {
      ASSERT_EQ(persist.size(), 1u) << s.fail;
      EXPECT_EQ(persist[0]["members"], s.members) << s.fail;
    }
  }
}

}  // namespace
