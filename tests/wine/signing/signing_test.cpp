// The certificate path under Wine's real crypt32 and key containers, with SignerSignEx recorded by
// the mssign32 stand-in. Windows 7 (reported by "default" and "win7") gets SHA-1 certificates, which
// Wine can make; every other version asks for SHA-256, which Wine refuses for the key type used.
#include <windows.h>
#include <wincrypt.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "../catalog/catalog_test_util.h"
#include "crypt32_spy.h"
#include "engine/common/log.h"
#include "engine/common/windows_version.h"
#include "engine/signing/key_container.h"
#include "engine/signing/publisher.h"
#include "engine/signing/signing.h"
#include "standin_session.h"
#include "test_support.h"

using cat_test::capture_log;
using cat_test::captured_log;
using cat_test::scratch_folder;
using standin::standin_session;

namespace {

bool sha1_platform() {
  detect_windows_version();
  return windows_version_code == 0x61;
}

bool container_exists(const std::wstring& name) {
  HCRYPTPROV prov = 0;
  if (!::CryptAcquireContextW(&prov, name.c_str(), nullptr, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET | CRYPT_SILENT))
    return false;
  ::CryptReleaseContext(prov, 0);
  return true;
}

void delete_container(const std::wstring& name) {
  HCRYPTPROV prov = 0;
  ::CryptAcquireContextW(&prov, name.c_str(), nullptr, PROV_RSA_FULL,
                         CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET | CRYPT_SILENT);
}

// A container made by the test, with a key pair; its public key blob, empty on failure.
std::vector<BYTE> plant_container(const std::wstring& name) {
  HCRYPTPROV prov = 0;
  if (!::CryptAcquireContextW(&prov, name.c_str(), nullptr, PROV_RSA_FULL,
                              CRYPT_MACHINE_KEYSET | CRYPT_SILENT | CRYPT_NEWKEYSET))
    return {};
  HCRYPTKEY key = 0;
  std::vector<BYTE> blob(1024);
  DWORD size = static_cast<DWORD>(blob.size());
  bool made = ::CryptGenKey(prov, AT_SIGNATURE, (1024u << 16) | CRYPT_EXPORTABLE, &key) &&
              ::CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &size);
  if (key != 0) ::CryptDestroyKey(key);
  ::CryptReleaseContext(prov, 0);
  blob.resize(made ? size : 0);
  return blob;
}

std::vector<BYTE> public_key_of(const std::wstring& name) {
  HCRYPTPROV prov = 0;
  if (!::CryptAcquireContextW(&prov, name.c_str(), nullptr, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET | CRYPT_SILENT))
    return {};
  HCRYPTKEY key = 0;
  std::vector<BYTE> blob(1024);
  DWORD size = static_cast<DWORD>(blob.size());
  bool got = ::CryptGetUserKey(prov, AT_SIGNATURE, &key) && ::CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &size);
  if (key != 0) ::CryptDestroyKey(key);
  ::CryptReleaseContext(prov, 0);
  blob.resize(got ? size : 0);
  return blob;
}

// The random part of the engine's container names, counting up from 0x11 per name.
BYTE next_random = 0x11;
void counting_random(BYTE* bytes, DWORD size) {
  for (DWORD i = 0; i < size; i++) bytes[i] = next_random;
  next_random++;
}
std::wstring counted_name(BYTE value) {
  std::wstring name = L"Velmor key ";
  wchar_t hex[3];
  std::swprintf(hex, 3, L"%02x", value);
  for (int i = 0; i < 16; i++) name += hex;
  return name;
}

std::vector<BYTE> encoded_name(const std::string& subject) {
  DWORD size = 0;
  ::CertStrToNameA(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr);
  std::vector<BYTE> name(size);
  ::CertStrToNameA(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr, name.data(), &size, nullptr);
  return name;
}

// Copies of the certificates of one subject in a local-machine store.
class stored_certs {
 public:
  stored_certs(const char* store_name, const std::string& subject) {
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0,
                                       CERT_SYSTEM_STORE_LOCAL_MACHINE, store_name);
    if (store == nullptr) return;
    std::vector<BYTE> name = encoded_name(subject);
    CERT_NAME_BLOB blob = {static_cast<DWORD>(name.size()), name.data()};
    PCCERT_CONTEXT c = nullptr;
    while ((c = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME, &blob, c)) != nullptr)
      certs_.push_back(::CertDuplicateCertificateContext(c));
    ::CertCloseStore(store, 0);
  }
  ~stored_certs() {
    for (PCCERT_CONTEXT c : certs_) ::CertFreeCertificateContext(c);
  }
  size_t size() const { return certs_.size(); }
  PCCERT_CONTEXT operator[](size_t i) const { return certs_[i]; }
  bool has(PCCERT_CONTEXT cert) const {
    for (PCCERT_CONTEXT c : certs_)
      if (::CertCompareCertificate(X509_ASN_ENCODING, c->pCertInfo, cert->pCertInfo)) return true;
    return false;
  }

 private:
  std::vector<PCCERT_CONTEXT> certs_;
};

bool has_property(PCCERT_CONTEXT cert, DWORD id) {
  DWORD size = 0;
  return ::CertGetCertificateContextProperty(cert, id, nullptr, &size) != FALSE;
}

std::wstring friendly_name(PCCERT_CONTEXT cert, DWORD* bytes) {
  wchar_t name[64] = {};
  DWORD size = sizeof(name);
  if (!::CertGetCertificateContextProperty(cert, CERT_FRIENDLY_NAME_PROP_ID, name, &size)) return L"(none)";
  *bytes = size;
  return name;
}

// Wine keeps no deletion from a machine system store past its closing, so the test's certificates
// are removed from the registry that backs the stores.
void remove_subject(const std::string& subject) {
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    stored_certs stored(store_name, subject);
    for (size_t i = 0; i < stored.size(); i++) {
      std::string key = std::string("Software\\Microsoft\\SystemCertificates\\") + store_name + "\\Certificates\\" +
                        crypt32_spy::thumbprint(stored[i]);
      ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
    }
  }
}

std::vector<crypt32_spy::add_call> encoded_adds() {
  std::vector<crypt32_spy::add_call> out;
  for (const auto& a : crypt32_spy::adds())
    if (a.encoded) out.push_back(a);
  return out;
}

// The stored copies DeletePrivateKey wrote: one per store, the same certificate, no key link, with
// the friendly name set on each.
void expect_unlinked_copies(PCCERT_CONTEXT cert, size_t stores) {
  auto adds = encoded_adds();
  ASSERT_EQ(adds.size(), stores);
  for (const auto& a : adds) {
    EXPECT_EQ(a.encoding, static_cast<DWORD>(X509_ASN_ENCODING));
    EXPECT_EQ(a.disposition, static_cast<DWORD>(CERT_STORE_ADD_REPLACE_EXISTING));
    EXPECT_EQ(a.thumbprint, crypt32_spy::thumbprint(cert));
    EXPECT_TRUE(a.context_requested);
    EXPECT_TRUE(a.succeeded);
    EXPECT_FALSE(a.result_has_key_link);
  }
  size_t names = 0;
  for (const auto& p : crypt32_spy::properties()) {
    if (p.id != CERT_FRIENDLY_NAME_PROP_ID) continue;
    names++;
    EXPECT_EQ(p.value, std::vector<BYTE>({'V', 0, 'e', 0, 'l', 0, 'm', 0, 'o', 0, 'r', 0, 0, 0}));
  }
  EXPECT_GE(names, stores);
}

class SigningTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(crypt32_spy::installed());
    ASSERT_TRUE(standin_session::loaded()) << "run with WINEDLLOVERRIDES=wintrust,mssign32=n,b";
    static unsigned serial = 0;
    // Wine reuses process ids and keeps no store deletion, so the time makes the subject unique.
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    subject_ = "CN=USB\\VID_2E3C&PID_F000&MI_03 (Velmor test " + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(now.dwLowDateTime) + "-" + std::to_string(++serial) + ")";
    crypt32_spy::reset();
    engine_log_level = LOG_DEBUG;
  }
  void TearDown() override {
    engine_log_level = LOG_INFO;
    key_container_random_for_tests = nullptr;
    remove_subject(subject_);
    delete_signing_key_container();
    if (!container_.empty()) delete_container(container_);
    crypt32_spy::reset();
  }

  // Whether the container of the last certificate made here (by the engine or the test) exists.
  bool key_container_exists() {
    if (!crypt32_spy::self_sign_calls().empty()) container_ = crypt32_spy::self_sign_calls().back().container;
    return !container_.empty() && container_exists(container_);
  }

  // A certificate of this subject whose key sits in a container the engine made, keyed as the
  // engine keys it but always with SHA-1, so that Wine can make it whatever version it reports.
  PCCERT_CONTEXT make_container_cert(const std::string& subject) {
    HCRYPTPROV prov = 0;
    if (!new_key_container(&prov)) return nullptr;
    container_ = signing_key_container();
    HCRYPTKEY key = 0;
    ::CryptGenKey(prov, AT_SIGNATURE, 1024u << 16, &key);
    ::CryptDestroyKey(key);
    ::CryptReleaseContext(prov, 0);
    std::vector<BYTE> name = encoded_name(subject);
    CERT_NAME_BLOB blob = {static_cast<DWORD>(name.size()), name.data()};
    CRYPT_KEY_PROV_INFO info = {};
    info.pwszContainerName = const_cast<wchar_t*>(container_.c_str());
    info.dwProvType = PROV_RSA_FULL;
    info.dwFlags = CRYPT_MACHINE_KEYSET;
    info.dwKeySpec = AT_SIGNATURE;
    CRYPT_ALGORITHM_IDENTIFIER sha1 = {const_cast<char*>(szOID_RSA_SHA1RSA), {0, nullptr}};
    return ::CertCreateSelfSignCertificate(0, &blob, 0, &info, &sha1, nullptr, nullptr, nullptr);
  }

  std::string subject_;
  std::wstring container_;
  captured_log log_;
};

// ---- CreateSelfSignedCert ----

TEST_F(SigningTest, CertificateCarriesTheSubjectKeyValidityAndAlgorithmOfThisVersion) {
  PCCERT_CONTEXT cert = nullptr;
  log_ = capture_log([&] { cert = CreateSelfSignedCert(subject_.c_str()); });

  ASSERT_EQ(crypt32_spy::self_sign_calls().size(), 1u);
  const crypt32_spy::self_sign_call& call = crypt32_spy::self_sign_calls()[0];
  EXPECT_EQ(call.algorithm, sha1_platform() ? "1.2.840.113549.1.1.5" : "1.2.840.113549.1.1.11");
  EXPECT_FALSE(call.provider_given);
  EXPECT_EQ(call.flags, 0u);
  EXPECT_FALSE(call.start_given);
  ASSERT_TRUE(call.end_given);
  EXPECT_EQ(call.end.wYear, 2029);
  EXPECT_EQ(call.end.wMonth, 1);
  EXPECT_EQ(call.end.wDay, 1);
  EXPECT_EQ(call.end.wHour + call.end.wMinute + call.end.wSecond + call.end.wMilliseconds, 0);
  // A fresh name: the prefix and 32 hex digits.
  EXPECT_EQ(call.container.rfind(L"Velmor key ", 0), 0u);
  EXPECT_EQ(call.container.size(), 11u + 32u);
  EXPECT_TRUE(call.provider_name_given) << "the user's default provider";
  EXPECT_EQ(call.provider_type, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(call.key_flags, static_cast<DWORD>(CRYPT_MACHINE_KEYSET));
  EXPECT_EQ(call.key_spec, static_cast<DWORD>(AT_SIGNATURE));
  EXPECT_EQ(call.provider_params, 0u);
  ASSERT_EQ(call.extensions.size(), 3u);
  EXPECT_EQ(call.extensions[0], std::make_pair(std::string("2.5.29.37"), true));
  EXPECT_EQ(call.extensions[1], std::make_pair(std::string("2.5.29.7"), false));
  EXPECT_EQ(call.extensions[2], std::make_pair(std::string("2.5.29.32"), false));
  EXPECT_TRUE(log_.has("Velmor:debug [CreateSelfSignedCert] set Enhanced Key Usage, URL and CPS"));
  EXPECT_TRUE(log_.has("Velmor:debug [CreateSelfSignedCert] generated new keypair"));

  if (!sha1_platform()) {
    // Wine refuses SHA-256 with this key type: the failure path, and no key left behind.
    EXPECT_EQ(cert, nullptr);
    EXPECT_EQ(log_.count("Velmor:warning [CreateSelfSignedCert] could not create self signed certificate: "), 1u);
    EXPECT_FALSE(key_container_exists());
    return;
  }
  ASSERT_NE(cert, nullptr) << log_.lines;
  EXPECT_TRUE(log_.has("Velmor:info [CreateSelfSignedCert] created new self-signed certificate '" + subject_ + "'"));
  EXPECT_TRUE(key_container_exists());  // the key stays until the signing is done

  char text[512];
  ::CertNameToStrA(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, text, sizeof(text));
  EXPECT_EQ(std::string(text), subject_);
  EXPECT_TRUE(::CertCompareCertificateName(X509_ASN_ENCODING, &cert->pCertInfo->Subject, &cert->pCertInfo->Issuer));
  EXPECT_STREQ(cert->pCertInfo->SignatureAlgorithm.pszObjId, "1.2.840.113549.1.1.5");
  SYSTEMTIME until;
  ::FileTimeToSystemTime(&cert->pCertInfo->NotAfter, &until);
  EXPECT_EQ(until.wYear, 2029);
  EXPECT_EQ(until.wMonth, 1);
  EXPECT_EQ(until.wDay, 1);
  EXPECT_EQ(until.wHour + until.wMinute + until.wSecond, 0);
  EXPECT_EQ(::CertGetPublicKeyLength(X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo), 2048u);

  DWORD size = 0;
  ASSERT_TRUE(::CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) << wine_test::last_error();
  std::vector<BYTE> buffer(size);
  ASSERT_TRUE(::CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) << wine_test::last_error();
  auto info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(buffer.data());
  EXPECT_EQ(std::wstring(info->pwszContainerName), call.container);
  ASSERT_NE(info->pwszProvName, nullptr) << "the user's default provider";
  EXPECT_EQ(std::wstring(info->pwszProvName), L"Microsoft Enhanced Cryptographic Provider v1.0");
  EXPECT_EQ(info->dwFlags, static_cast<DWORD>(CRYPT_MACHINE_KEYSET));
  EXPECT_EQ(info->dwKeySpec, static_cast<DWORD>(AT_SIGNATURE));

  // The extensions, decoded.
  ASSERT_EQ(cert->pCertInfo->cExtension, 3u);
  const CERT_EXTENSION* ext = cert->pCertInfo->rgExtension;
  EXPECT_STREQ(ext[0].pszObjId, "2.5.29.37");
  EXPECT_TRUE(ext[0].fCritical);
  BYTE decoded[1024];
  DWORD decoded_size = sizeof(decoded);
  ASSERT_TRUE(::CryptDecodeObject(X509_ASN_ENCODING, X509_ENHANCED_KEY_USAGE, ext[0].Value.pbData,
                                  ext[0].Value.cbData, 0, decoded, &decoded_size)) << wine_test::last_error();
  auto usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(decoded);
  ASSERT_EQ(usage->cUsageIdentifier, 1u);
  EXPECT_STREQ(usage->rgpszUsageIdentifier[0], "1.3.6.1.5.5.7.3.3");

  decoded_size = sizeof(decoded);
  ASSERT_TRUE(::CryptDecodeObject(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext[1].Value.pbData, ext[1].Value.cbData, 0,
                                  decoded, &decoded_size)) << wine_test::last_error();
  auto alt = reinterpret_cast<CERT_ALT_NAME_INFO*>(decoded);
  ASSERT_EQ(alt->cAltEntry, 1u);
  EXPECT_EQ(alt->rgAltEntry[0].dwAltNameChoice, static_cast<DWORD>(CERT_ALT_NAME_URL));
  EXPECT_STREQ(alt->rgAltEntry[0].pwszURL, VELMOR_PUBLISHER_URL);

  decoded_size = sizeof(decoded);
  ASSERT_TRUE(::CryptDecodeObject(X509_ASN_ENCODING, X509_CERT_POLICIES, ext[2].Value.pbData, ext[2].Value.cbData, 0,
                                  decoded, &decoded_size)) << wine_test::last_error();
  auto policies = reinterpret_cast<CERT_POLICIES_INFO*>(decoded);
  ASSERT_EQ(policies->cPolicyInfo, 1u);
  EXPECT_STREQ(policies->rgPolicyInfo[0].pszPolicyIdentifier, "1.3.6.1.5.5.7.2.1");
  ASSERT_EQ(policies->rgPolicyInfo[0].cPolicyQualifier, 1u);
  const CERT_POLICY_QUALIFIER_INFO& q = policies->rgPolicyInfo[0].rgPolicyQualifier[0];
  EXPECT_STREQ(q.pszPolicyQualifierId, "1.3.6.1.5.5.7.2.1");
  // IA5String (0x16) of the address followed by its terminating zero byte.
  std::string cps = VELMOR_CPS_URL;
  std::vector<BYTE> expected = {0x16, static_cast<BYTE>(cps.size() + 1)};
  expected.insert(expected.end(), cps.begin(), cps.end());
  expected.push_back(0);
  EXPECT_EQ(std::vector<BYTE>(q.Qualifier.pbData, q.Qualifier.pbData + q.Qualifier.cbData), expected);

  // For openssl on the Linux side (see signing_openssl.sh).
  char keep[MAX_PATH];
  if (::GetEnvironmentVariableA("VELMOR_KEEP_CERT", keep, MAX_PATH) > 0) {
    std::string encoded(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);
    ASSERT_TRUE(wine_test::write_file(keep, encoded)) << keep << " " << wine_test::last_error();
  }
  ::CertFreeCertificateContext(cert);
}

// Any local user can make a machine key container: one of the old fixed name, or of the name the
// engine would pick next, is never used; the old one goes, the other is left as it was.
TEST_F(SigningTest, PlantedContainersOfTheOldAndTheNextNameAreNeverUsed) {
  std::vector<BYTE> old_key = plant_container(VELMOR_LEGACY_KEY_CONTAINER);
  ASSERT_FALSE(old_key.empty()) << wine_test::last_error();
  next_random = 0x11;
  key_container_random_for_tests = counting_random;
  std::vector<BYTE> guessed_key = plant_container(counted_name(0x11));
  ASSERT_FALSE(guessed_key.empty()) << wine_test::last_error();

  PCCERT_CONTEXT cert = nullptr;
  log_ = capture_log([&] { cert = CreateSelfSignedCert(subject_.c_str()); });
  EXPECT_FALSE(container_exists(VELMOR_LEGACY_KEY_CONTAINER));
  EXPECT_EQ(public_key_of(counted_name(0x11)), guessed_key);
  ASSERT_EQ(crypt32_spy::self_sign_calls().size(), 1u);
  EXPECT_EQ(crypt32_spy::self_sign_calls()[0].container, counted_name(0x12));
  EXPECT_EQ(log_.count("Velmor:warning [CreateSelfSignedCert] key container name already taken - trying another"), 1u);
  EXPECT_EQ(cert != nullptr, sha1_platform()) << log_.lines;
  if (cert != nullptr) ::CertFreeCertificateContext(cert);
  delete_container(counted_name(0x11));
}

// The container's DACL: administrators and the system account, protected; its key stays inside.
TEST_F(SigningTest, NewContainerIsForAdministratorsAndSystemOnlyAndItsKeyIsNotExportable) {
  PCCERT_CONTEXT cert = make_container_cert(subject_);
  ASSERT_NE(cert, nullptr);
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(::CryptAcquireContextW(&prov, container_.c_str(), nullptr, PROV_RSA_FULL,
                                     CRYPT_MACHINE_KEYSET | CRYPT_SILENT)) << wine_test::last_error();
  std::vector<BYTE> descriptor(1024);
  DWORD size = static_cast<DWORD>(descriptor.size());
  ASSERT_TRUE(::CryptGetProvParam(prov, PP_KEYSET_SEC_DESCR, descriptor.data(), &size, DACL_SECURITY_INFORMATION))
      << wine_test::last_error();
  char* sddl = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.data(), SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, nullptr));
  // Wine's registry-backed containers keep the entries but not the protected flag.
  std::string dacl = sddl != nullptr ? sddl : "";
  EXPECT_TRUE(dacl == "D:P(A;;GA;;;BA)(A;;GA;;;SY)" || dacl == "D:(A;;GA;;;BA)(A;;GA;;;SY)") << dacl;
  ::LocalFree(sddl);
  HCRYPTKEY key = 0;
  ASSERT_TRUE(::CryptGetUserKey(prov, AT_SIGNATURE, &key)) << wine_test::last_error();
  BYTE blob[2048];
  DWORD blob_size = sizeof(blob);
  EXPECT_FALSE(::CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, blob, &blob_size));
  ::CryptDestroyKey(key);
  ::CryptReleaseContext(prov, 0);
  ::CertFreeCertificateContext(cert);
}

// ---- stores ----

TEST_F(SigningTest, AddsToMachineStoresWithTheFriendlyName) {
  PCCERT_CONTEXT cert = make_container_cert(subject_);
  ASSERT_NE(cert, nullptr);
  EXPECT_TRUE(AddCertToStore(cert, "Root"));
  EXPECT_TRUE(AddCertToStore(cert, "TrustedPublisher"));
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    stored_certs stored(store_name, subject_);
    ASSERT_EQ(stored.size(), 1u) << store_name;
    DWORD bytes = 0;
    EXPECT_EQ(friendly_name(stored[0], &bytes), L"Velmor");
    EXPECT_EQ(bytes, 14u);
  }
  ASSERT_EQ(crypt32_spy::store_opens().size(), 2u);
  for (const auto& open : crypt32_spy::store_opens()) {
    EXPECT_EQ(open.provider, reinterpret_cast<ULONG_PTR>(CERT_STORE_PROV_SYSTEM_A));
    EXPECT_EQ(open.encoding, static_cast<DWORD>(X509_ASN_ENCODING));
    EXPECT_FALSE(open.provider_handle_given);
    EXPECT_EQ(open.flags, static_cast<DWORD>(CERT_SYSTEM_STORE_LOCAL_MACHINE));
  }
  EXPECT_EQ(crypt32_spy::store_close_flags(), (std::vector<DWORD>{0, 0}));
  ::CertFreeCertificateContext(cert);
}

TEST_F(SigningTest, StoreThatCannotBeOpenedIsReported) {
  PCCERT_CONTEXT cert = make_container_cert(subject_);
  ASSERT_NE(cert, nullptr);
  crypt32_spy::fail_store("TrustedPublisher");
  int result = 1;
  log_ = capture_log([&] { result = AddCertToStore(cert, "TrustedPublisher"); });
  EXPECT_FALSE(result);
  EXPECT_EQ(log_.count("Velmor:warning [AddCertToStore] failed to open system store 'TrustedPublisher': "), 1u);
  log_ = capture_log([&] { result = RemoveCertFromStore(subject_.c_str(), "TrustedPublisher"); });
  EXPECT_FALSE(result);
  EXPECT_EQ(log_.count("Velmor:warning [RemoveCertFromStore] failed to open system store 'TrustedPublisher': "), 1u);
  ::CertFreeCertificateContext(cert);
}

TEST_F(SigningTest, RemovesEveryCertificateOfTheSubjectAndNoOther) {
  std::string other = subject_ + " other";
  PCCERT_CONTEXT first = make_container_cert(subject_);
  PCCERT_CONTEXT second = make_container_cert(subject_);
  PCCERT_CONTEXT unrelated = make_container_cert(other);
  ASSERT_TRUE(first && second && unrelated);
  for (PCCERT_CONTEXT c : {first, second, unrelated}) ASSERT_TRUE(AddCertToStore(c, "Root"));
  ASSERT_EQ(stored_certs("Root", subject_).size(), 2u);

  crypt32_spy::reset();
  int result = 0;
  log_ = capture_log([&] { result = RemoveCertFromStore(subject_.c_str(), "Root"); });
  EXPECT_TRUE(result);
  // Both of the subject, not the other; every search from the start, by subject name.
  auto deletes = crypt32_spy::deletes();
  ASSERT_EQ(deletes.size(), 2u);
  std::vector<std::string> deleted = {deletes[0].thumbprint, deletes[1].thumbprint};
  std::sort(deleted.begin(), deleted.end());
  std::vector<std::string> expected = {crypt32_spy::thumbprint(first), crypt32_spy::thumbprint(second)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(deleted, expected);
  ASSERT_EQ(crypt32_spy::finds().size(), 3u);
  for (const auto& f : crypt32_spy::finds()) {
    EXPECT_EQ(f.encoding, static_cast<DWORD>(X509_ASN_ENCODING));
    EXPECT_EQ(f.flags, 0u);
    EXPECT_EQ(f.type, static_cast<DWORD>(CERT_FIND_SUBJECT_NAME));
    EXPECT_FALSE(f.previous_given);
  }
  EXPECT_EQ(log_.count("Velmor:info [RemoveCertFromStore] deleted existing certificate '" + subject_ +
                       "' from 'Root' store\n"),
            2u);

  log_ = capture_log([&] { result = RemoveCertFromStore("CN=\"unterminated", "Root"); });
  EXPECT_FALSE(result);
  EXPECT_EQ(log_.count("Velmor:warning [RemoveCertFromStore] failed to encode'CN=\"unterminated': "), 1u);

  remove_subject(other);
  for (PCCERT_CONTEXT c : {first, second, unrelated}) ::CertFreeCertificateContext(c);
}

// Each search starts over, so a certificate that refuses to go must end the loop, not repeat it.
TEST_F(SigningTest, CertificateThatCannotBeDeletedEndsTheSearch) {
  PCCERT_CONTEXT cert = make_container_cert(subject_);
  ASSERT_NE(cert, nullptr);
  ASSERT_TRUE(AddCertToStore(cert, "Root"));
  crypt32_spy::reset();
  crypt32_spy::fail_deletes(true);
  int result = 0;
  log_ = capture_log([&] { result = RemoveCertFromStore(subject_.c_str(), "Root"); });
  EXPECT_TRUE(result);
  EXPECT_EQ(crypt32_spy::deletes().size(), 1u);
  EXPECT_EQ(log_.count("Velmor:warning [RemoveCertFromStore] failed to delete existing certificate '" + subject_ +
                       "' from 'Root' store: "),
            1u);
  EXPECT_EQ(log_.count("deleted existing certificate '" + subject_ + "' from 'Root' store\n"), 0u);
  ::CertFreeCertificateContext(cert);
}

// ---- DeletePrivateKey ----

TEST_F(SigningTest, DeletesTheKeyContainerAndUnlinksTheStoredCopies) {
  PCCERT_CONTEXT cert = make_container_cert(subject_);
  ASSERT_NE(cert, nullptr);
  ASSERT_TRUE(AddCertToStore(cert, "Root"));
  ASSERT_TRUE(AddCertToStore(cert, "TrustedPublisher"));
  ASSERT_TRUE(key_container_exists());
  ASSERT_TRUE(has_property(stored_certs("Root", subject_)[0], CERT_KEY_PROV_INFO_PROP_ID));

  crypt32_spy::reset();
  int result = 0;
  log_ = capture_log([&] { result = DeletePrivateKey(cert); });
  EXPECT_TRUE(result) << log_.lines;
  EXPECT_FALSE(key_container_exists());
  expect_unlinked_copies(cert, 2);
  ASSERT_EQ(crypt32_spy::store_opens().size(), 2u);
  EXPECT_EQ(crypt32_spy::store_opens()[0].name, "Root");
  EXPECT_EQ(crypt32_spy::store_opens()[1].name, "TrustedPublisher");
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    stored_certs stored(store_name, subject_);
    ASSERT_EQ(stored.size(), 1u) << store_name;
    EXPECT_TRUE(stored.has(cert));
  }
  ::CertFreeCertificateContext(cert);
}

// The container of the signing goes, whatever the certificate handed in links to.
TEST_F(SigningTest, DeletesTheContainerEvenForACertificateWithoutKeyLink) {
  PCCERT_CONTEXT cert = make_container_cert(subject_);
  ASSERT_NE(cert, nullptr);
  // A copy without the key link cannot lead to the key whatever the platform.
  PCCERT_CONTEXT bare = ::CertCreateCertificateContext(X509_ASN_ENCODING, cert->pbCertEncoded, cert->cbCertEncoded);
  ASSERT_NE(bare, nullptr);
  int result = 0;
  log_ = capture_log([&] { result = DeletePrivateKey(bare); });
  EXPECT_TRUE(result) << log_.lines;
  EXPECT_FALSE(key_container_exists());
  ::CertFreeCertificateContext(bare);
  ::CertFreeCertificateContext(cert);
}

TEST_F(SigningTest, ReportsAContainerThatCouldNotBeDeleted) {
  PCCERT_CONTEXT cert = make_container_cert(subject_);
  ASSERT_NE(cert, nullptr);
  delete_container(container_);
  int result = 1;
  log_ = capture_log([&] { result = DeletePrivateKey(cert); });
  EXPECT_FALSE(result);
  EXPECT_EQ(log_.count("Velmor:warning [DeletePrivateKey] failed to delete private key: "), 1u);
  ::CertFreeCertificateContext(cert);
}

// ---- SelfSignFile ----

class SelfSignTest : public SigningTest {
 protected:
  int sign() {
    int result = 0;
    log_ = capture_log([&] { result = SelfSignFile(cat_path().c_str(), subject_.c_str()); });
    return result;
  }
  std::string cat_path() const { return folder_ / "Korvex-WinUSB.cat"; }

  standin_session record_;
  scratch_folder folder_{"sign"};
};

TEST_F(SelfSignTest, SignsWithATrustedCertificateAndThenDestroysTheKey) {
  int result = sign();
  EXPECT_FALSE(key_container_exists());
  auto signs = record_.calls("SignerSignEx");
  if (!sha1_platform()) {
    EXPECT_FALSE(result);
    EXPECT_TRUE(signs.empty());
    EXPECT_EQ(stored_certs("Root", subject_).size(), 0u);
    return;
  }
  ASSERT_TRUE(result) << log_.lines;
  ASSERT_EQ(signs.size(), 1u);
  auto& s = signs[0];
  // Every argument as recorded; at signing time the certificate is trusted and its key still there.
  const std::map<std::string, std::string> expected = {
      {"flags", "00000000"}, {"subject_size_ok", "1"}, {"index", "0"}, {"subject_choice", "1"},
      {"file_info_size_ok", "1"}, {"file", cat_path()}, {"file_handle_given", "0"}, {"cert_size_ok", "1"},
      {"cert_choice", "2"}, {"hwnd_given", "0"}, {"store_info_size_ok", "1"}, {"cert_policy", "2"},
      {"extra_store_given", "0"}, {"cert_subject", subject_}, {"in_root", "1"}, {"in_trusted_publisher", "1"},
      {"key_present", "1"}, {"signature_size_ok", "1"},
      {"hash_alg", "0000800C"}, {"attr_choice", "0"}, {"authcode_given", "0"}, {"authenticated", "2"},
      {"auth0_oid", "1.3.6.1.4.1.311.2.1.12"}, {"auth0_values", "1"}, {"auth0_value0", "3000"},
      {"auth1_oid", "1.3.6.1.4.1.311.2.1.11"}, {"auth1_values", "1"},
      {"auth1_value0", "300C060A2B060104018237020115"}, {"unauthenticated", "(null)"}, {"provider_given", "0"},
      {"timestamp_given", "0"}, {"request_given", "0"}, {"sip_data_given", "0"}, {"context_requested", "1"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(s[key], value) << key;
  EXPECT_EQ(s["key_container"].rfind("Velmor key ", 0), 0u);
  EXPECT_NE(s["key_container"], "Velmor key container");
  ASSERT_EQ(record_.calls("SignerFreeSignerContext").size(), 1u);
  EXPECT_EQ(record_.calls("SignerFreeSignerContext")[0]["context_given"], "1");

  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    stored_certs stored(store_name, subject_);
    ASSERT_EQ(stored.size(), 1u) << store_name;
    DWORD bytes = 0;
    EXPECT_EQ(friendly_name(stored[0], &bytes), L"Velmor") << store_name;
    EXPECT_EQ(crypt32_spy::thumbprint(stored[0]), s["cert_sha1"]);
  }
  PCCERT_CONTEXT signed_with = stored_certs("Root", subject_).size() == 1
                                   ? ::CertDuplicateCertificateContext(stored_certs("Root", subject_)[0])
                                   : nullptr;
  ASSERT_NE(signed_with, nullptr);
  expect_unlinked_copies(signed_with, 2);
  ::CertFreeCertificateContext(signed_with);
  EXPECT_TRUE(log_.has("Velmor:debug [SelfSignFile] successfully created certificate '" + subject_ + "'"));
  EXPECT_TRUE(log_.has("Velmor:info [SelfSignFile] added certificate '" + subject_ +
                       "' to 'Root' and 'TrustedPublisher' stores"));
  EXPECT_TRUE(log_.has("Velmor:info [SelfSignFile] successfully signed file '" + cat_path() + "'"));
  EXPECT_TRUE(log_.has("Velmor:info [SelfSignFile] successfully deleted private key"));
}

TEST_F(SelfSignTest, SecondSigningReplacesTheFirstCertificateInBothStores) {
  if (!sha1_platform()) GTEST_SKIP() << "Wine makes no SHA-256 certificate";
  ASSERT_TRUE(sign());
  std::string first = record_.calls("SignerSignEx")[0]["cert_sha1"];
  ASSERT_TRUE(sign());
  auto signs = record_.calls("SignerSignEx");
  ASSERT_EQ(signs.size(), 2u);
  EXPECT_NE(signs[1]["cert_sha1"], first);
  // The first certificate is deleted from both stores before the second is made.
  size_t first_deleted = 0;
  for (const auto& d : crypt32_spy::deletes()) first_deleted += d.thumbprint == first && d.succeeded;
  EXPECT_EQ(first_deleted, 2u);
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    EXPECT_EQ(log_.count("Velmor:info [SelfSignFile] deleted 1 earlier certificate(s) '" + subject_ +
                         "' of this tool from the '" + store_name + "' store\n"),
              1u);
  }
  EXPECT_FALSE(key_container_exists());
}

TEST_F(SelfSignTest, FailedSignatureStillDestroysTheKey) {
  if (!sha1_platform()) GTEST_SKIP() << "Wine makes no SHA-256 certificate";
  record_.fail("SignerSignEx");
  EXPECT_FALSE(sign());
  EXPECT_EQ(log_.count("Velmor:warning [SelfSignFile] SignerSignEx failed. hResult #80070005, error "), 1u);
  EXPECT_FALSE(key_container_exists());
  EXPECT_TRUE(log_.has("Velmor:info [SelfSignFile] successfully deleted private key"));
}

TEST_F(SelfSignTest, UnopenableTrustedPublisherMeansNoSignatureAndNoKey) {
  if (!sha1_platform()) GTEST_SKIP() << "Wine makes no SHA-256 certificate";
  crypt32_spy::fail_store("TrustedPublisher");
  EXPECT_FALSE(sign());
  EXPECT_TRUE(record_.calls("SignerSignEx").empty());
  EXPECT_FALSE(key_container_exists());
  EXPECT_EQ(log_.count("Velmor:warning [AddCertToStore] failed to open system store 'TrustedPublisher': "), 1u);
  // The copy already in Root is rewritten without its key link; TrustedPublisher is skipped.
  stored_certs root("Root", subject_);
  ASSERT_EQ(root.size(), 1u);
  expect_unlinked_copies(root[0], 1);
}

}  // namespace
