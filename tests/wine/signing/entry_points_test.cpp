// Run-time entry points: a missing one is logged and fails its caller; a found one is kept. A
// program of its own, so that no entry point has been looked up before.
#include <windows.h>

#include <gtest/gtest.h>

#include "../catalog/catalog_test_util.h"
#include "crypt32_spy.h"
#include "engine/signing/catalog.h"
#include "engine/signing/key_container.h"
#include "engine/signing/signing.h"
#include "standin_session.h"

using cat_test::capture_log;
using cat_test::scratch_folder;

TEST(EntryPoints, MissingOnesAreLoggedAndLookedUpAgainFoundOnesAreKept) {
  ASSERT_TRUE(crypt32_spy::installed());
  ASSERT_TRUE(standin::standin_session::loaded());
  standin::standin_session record;
  scratch_folder pkg("entry");
  pkg.write("Korvex-USART.inf", "inf");
  const char* members[] = {"Korvex-USART.inf"};
  std::string cat = pkg / "Korvex-USART.cat";

  crypt32_spy::hide("SignerSignEx");
  int result = 1;
  auto log = capture_log([&] { result = SelfSignFile(cat.c_str(), "CN=Velmor entry point test"); });
  EXPECT_FALSE(result);
  EXPECT_EQ(log.lines, "Velmor:error [SelfSignFile] Unable to locate SignerSignEx() in mssign32\n\n");
  EXPECT_TRUE(crypt32_spy::self_sign_calls().empty());  // nothing made, nothing trusted
  EXPECT_TRUE(crypt32_spy::store_opens().empty());

  crypt32_spy::hide("CryptCATPersistStore");
  log = capture_log([&] { result = CreateCat(cat.c_str(), "USB\\VID_2E3C&PID_F000", pkg.path().c_str(), members, 1); });
  EXPECT_FALSE(result);
  EXPECT_EQ(log.lines, "Velmor:error [CreateCat] Unable to locate CryptCATPersistStore() in wintrust\n\n");
  EXPECT_TRUE(record.calls("CryptCATOpen").empty());

  crypt32_spy::hide("");
  log = capture_log([&] { result = CreateCat(cat.c_str(), "USB\\VID_2E3C&PID_F000", pkg.path().c_str(), members, 1); });
  EXPECT_TRUE(result) << log.lines;
  unsigned persist_lookups = crypt32_spy::lookups("CryptCATPersistStore");
  unsigned open_lookups = crypt32_spy::lookups("CryptCATOpen");
  EXPECT_EQ(persist_lookups, 2u);
  EXPECT_EQ(open_lookups, 1u);
  EXPECT_TRUE(CreateCat(cat.c_str(), "USB\\VID_2E3C&PID_F000", pkg.path().c_str(), members, 1));
  EXPECT_EQ(crypt32_spy::lookups("CryptCATPersistStore"), persist_lookups);
  EXPECT_EQ(crypt32_spy::lookups("CryptCATOpen"), open_lookups);
  EXPECT_EQ(crypt32_spy::lookups("CryptCATPutMemberInfo"), 1u);
}

// The key is deleted before anything else is looked up: a missing entry point cannot keep it.
TEST(EntryPoints, KeyContainerGoesBeforeAnyLookup) {
  ASSERT_TRUE(crypt32_spy::installed());
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(new_key_container(&prov));
  ::CryptReleaseContext(prov, 0);
  std::wstring name = signing_key_container();
  crypt32_spy::hide("CertAddEncodedCertificateToStore");
  int result = 1;
  auto log = capture_log([&] { result = DeletePrivateKey(nullptr); });
  crypt32_spy::hide("");
  EXPECT_FALSE(result);
  EXPECT_EQ(log.lines, "Velmor:error [DeletePrivateKey] Unable to locate CertAddEncodedCertificateToStore() in crypt32\n\n");
  EXPECT_FALSE(::CryptAcquireContextW(&prov, name.c_str(), nullptr, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET | CRYPT_SILENT));
  EXPECT_EQ(signing_key_container(), nullptr);
}
