// Self-signing: SelfSignFile, CreateSelfSignedCert, AddCertToStore, RemoveCertFromStore,
// DeletePrivateKey.
#include "engine/signing/signing.h"

#include <cstring>
#include <vector>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/system.h"
#include "engine/common/utf8.h"
#include "engine/common/windows_version.h"
#include "engine/signing/key_container.h"
#include "engine/signing/own_certificates.h"
#include "engine/signing/publisher.h"
#include "engine/signing/publisher_alt_name.h"
#include "win/handles.h"

using velmor::unique_malloc;
namespace imports = velmor::imports;

namespace {

const char kCpsQualifierOid[] = "1.3.6.1.5.5.7.2.1";

// A system store of the local machine.
velmor::unique_cert_store open_system_store(decltype(&::CertOpenStore) open, const char* name) {
  return velmor::unique_cert_store(
      open(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, name));
}

CRYPT_DATA_BLOB friendly_name() {
  CRYPT_DATA_BLOB blob;
  blob.cbData = sizeof(VELMOR_CERT_FRIENDLY_NAME);  // UTF-16 with its terminator
  blob.pbData = reinterpret_cast<BYTE*>(const_cast<wchar_t*>(VELMOR_CERT_FRIENDLY_NAME));
  return blob;
}

// Size query, then the encoding into a buffer of that size.
bool encode(decltype(&::CryptEncodeObject) encode_fn, LPCSTR type, const void* value, std::vector<BYTE>& out) {
  DWORD size = 0;
  if (!encode_fn(X509_ASN_ENCODING, type, value, nullptr, &size)) return false;
  out.assign(size, 0);
  if (!encode_fn(X509_ASN_ENCODING, type, value, out.data(), &size)) return false;
  out.resize(size);
  return true;
}

bool encode_name(decltype(&::CertStrToNameA) to_name, const char* subject, std::vector<BYTE>& out) {
  DWORD size = 0;
  if (!to_name(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr)) return false;
  out.assign(size, 0);
  if (!to_name(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, out.data(), &size, nullptr)) return false;
  out.resize(size);
  return true;
}

struct encoded_extensions {
  std::vector<BYTE> usage, alt_name, cps, policies;
};

// The three extension values; logs and returns false at the first that cannot be encoded.
bool encode_extensions(decltype(&::CryptEncodeObject) encode_fn, encoded_extensions& out) {
  const char* caller = "CreateSelfSignedCert";
  char code_signing[] = szOID_PKIX_KP_CODE_SIGNING;
  char* usages[] = {code_signing};
  CERT_ENHKEY_USAGE usage = {1, usages};
  if (!encode(encode_fn, X509_ENHANCED_KEY_USAGE, &usage, out.usage)) {
    engine_log(LOG_WARNING, caller, "could not setup EKU for code signing: %s", windows_error_text(0));
    return false;
  }

  if (!velmor::encode_publisher_alt_name(encode_fn, out.alt_name)) {
    engine_log(LOG_WARNING, caller, "could not setup URL: %s", windows_error_text(0));
    return false;
  }

  // The terminating zero is part of the encoded string.
  CERT_NAME_VALUE cps = {};
  cps.dwValueType = CERT_RDN_IA5_STRING;
  cps.Value.cbData = sizeof(VELMOR_CPS_URL);
  cps.Value.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(VELMOR_CPS_URL));
  if (!encode(encode_fn, X509_NAME_VALUE, &cps, out.cps)) {
    engine_log(LOG_WARNING, caller, "could not setup CPS: %s", windows_error_text(0));
    return false;
  }

  CERT_POLICY_QUALIFIER_INFO qualifier = {};
  qualifier.pszPolicyQualifierId = const_cast<char*>(kCpsQualifierOid);
  qualifier.Qualifier.cbData = static_cast<DWORD>(out.cps.size());
  qualifier.Qualifier.pbData = out.cps.data();
  CERT_POLICY_INFO policy = {};
  policy.pszPolicyIdentifier = const_cast<char*>(kCpsQualifierOid);
  policy.cPolicyQualifier = 1;
  policy.rgPolicyQualifier = &qualifier;
  CERT_POLICIES_INFO policies = {1, &policy};
  if (!encode(encode_fn, X509_CERT_POLICIES, &policies, out.policies)) {
    engine_log(LOG_WARNING, caller, "could not setup Certificate Policies: %s", windows_error_text(0));
    return false;
  }
  return true;
}

}  // namespace

extern "C" PCCERT_CONTEXT CreateSelfSignedCert(const char* subject) {
  auto encode_fn = required_import<imports::CryptEncodeObject>(__func__);
  if (encode_fn == nullptr) return nullptr;
  auto to_name = required_import<imports::CertStrToNameA>(__func__);
  if (to_name == nullptr) return nullptr;
  auto create_cert = required_import<imports::CertCreateSelfSignCertificate>(__func__);
  if (create_cert == nullptr) return nullptr;
  if (required_import<imports::CertFreeCertificateContext>(__func__) == nullptr) return nullptr;

  encoded_extensions values;
  if (!encode_extensions(encode_fn, values)) return nullptr;
  wdi_dbg("set Enhanced Key Usage, URL and CPS");

  // A key that ends up in no certificate is of no use to anyone: it leaves with its container. The
  // deletion runs after the handles below are released, as a provider may write the container
  // back when its last handle goes.
  bool keep_container = false;
  velmor::scope_exit drop_container([&] {
    if (!keep_container) delete_signing_key_container();
  });

  velmor::unique_crypt_provider container;
  if (!new_key_container(container.put())) {
    wdi_warn("could not obtain a key container: %s", windows_error_text(0));
    return nullptr;
  }
  wdi_dbg("created new key container");

  // Not exportable: the key is used where it lies and deleted with its container.
  auto gen_key = required_import<imports::CryptGenKey>(__func__);
  if (gen_key == nullptr) return nullptr;
  velmor::unique_crypt_key key;
  if (!gen_key(container.get(), AT_SIGNATURE, VELMOR_SIGNING_KEY_BITS << 16, key.put())) {
    wdi_dbg("could not generate keypair: %s", windows_error_text(0));
    return nullptr;
  }
  wdi_dbg("generated new keypair");
  // Closed before the certificate is made, which opens the container by name: a provider may store
  // a new key only when its container's handle closes (Wine's does), and one that finds no key there
  // makes its own, of its default length.
  key.reset();
  container.reset();

  std::vector<BYTE> name;
  if (!encode_name(to_name, subject, name)) {
    wdi_warn("could not encode subject name for self signed cert: %s", windows_error_text(0));
    return nullptr;
  }

  detect_windows_version();
  CRYPT_ALGORITHM_IDENTIFIER algorithm = {};
  algorithm.pszObjId = const_cast<char*>(windows_version_code == 0x61 ? szOID_RSA_SHA1RSA : szOID_RSA_SHA256RSA);

  CRYPT_KEY_PROV_INFO key_info = {};
  key_info.pwszContainerName = const_cast<wchar_t*>(signing_key_container());
  key_info.pwszProvName = const_cast<wchar_t*>(VELMOR_SIGNING_PROVIDER);
  key_info.dwProvType = PROV_RSA_FULL;
  key_info.dwFlags = CRYPT_MACHINE_KEYSET;
  key_info.cProvParam = 0;
  key_info.rgProvParam = nullptr;
  key_info.dwKeySpec = AT_SIGNATURE;

  SYSTEMTIME end = {};
  end.wYear = 2029;
  end.wMonth = 1;
  end.wDay = 1;

  CERT_EXTENSION extensions[3] = {
      {const_cast<char*>(szOID_ENHANCED_KEY_USAGE), TRUE,
       {static_cast<DWORD>(values.usage.size()), values.usage.data()}},
      {const_cast<char*>(szOID_SUBJECT_ALT_NAME), FALSE,
       {static_cast<DWORD>(values.alt_name.size()), values.alt_name.data()}},
      {const_cast<char*>(szOID_CERT_POLICIES), FALSE,
       {static_cast<DWORD>(values.policies.size()), values.policies.data()}},
  };
  CERT_EXTENSIONS extension_list = {3, extensions};
  CERT_NAME_BLOB name_blob = {static_cast<DWORD>(name.size()), name.data()};

  PCCERT_CONTEXT cert =
      create_cert(0, &name_blob, 0, &key_info, &algorithm, nullptr, &end, &extension_list);
  if (cert == nullptr) {
    wdi_warn("could not create self signed certificate: %s", windows_error_text(0));
    return nullptr;
  }
  keep_container = true;
  wdi_info("created new self-signed certificate '%s'", subject);
  return cert;
}

extern "C" int AddCertToStore(PCCERT_CONTEXT cert, const char* store_name) {
  auto open = required_import<imports::CertOpenStore>(__func__);
  if (open == nullptr) return FALSE;
  auto set_property = required_import<imports::CertSetCertificateContextProperty>(__func__);
  if (set_property == nullptr) return FALSE;
  auto add = required_import<imports::CertAddCertificateContextToStore>(__func__);
  if (add == nullptr) return FALSE;
  if (required_import<imports::CertCloseStore>(__func__) == nullptr) return FALSE;

  velmor::unique_cert_store store = open_system_store(open, store_name);
  if (store.get() == nullptr) {
    wdi_warn("failed to open system store '%s': %s", store_name, windows_error_text(0));
    return FALSE;
  }
  CRYPT_DATA_BLOB name = friendly_name();
  if (!set_property(cert, CERT_FRIENDLY_NAME_PROP_ID, 0, &name)) {
    wdi_warn("coud not set friendly name: %s", windows_error_text(0));
    return FALSE;
  }
  if (!add(store.get(), cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    wdi_warn("failed to add certificate to system store '%s': %s", store_name, windows_error_text(0));
    return FALSE;
  }
  return TRUE;
}

extern "C" int RemoveCertFromStore(const char* subject, const char* store_name) {
  auto open = required_import<imports::CertOpenStore>(__func__);
  if (open == nullptr) return FALSE;
  auto find = required_import<imports::CertFindCertificateInStore>(__func__);
  if (find == nullptr) return FALSE;
  auto remove = required_import<imports::CertDeleteCertificateFromStore>(__func__);
  if (remove == nullptr) return FALSE;
  if (required_import<imports::CertCloseStore>(__func__) == nullptr) return FALSE;
  auto to_name = required_import<imports::CertStrToNameA>(__func__);
  if (to_name == nullptr) return FALSE;

  velmor::unique_cert_store store = open_system_store(open, store_name);
  if (store.get() == nullptr) {
    wdi_warn("failed to open system store '%s': %s", store_name, windows_error_text(0));
    return FALSE;
  }
  std::vector<BYTE> name;
  if (!encode_name(to_name, subject, name)) {
    wdi_warn("failed to encode'%s': %s", subject, windows_error_text(0));
    return FALSE;
  }
  CERT_NAME_BLOB name_blob = {static_cast<DWORD>(name.size()), name.data()};
  for (;;) {
    PCCERT_CONTEXT found = find(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME, &name_blob, nullptr);
    if (found == nullptr) break;
    // Each search starts over, so a certificate that will not go would be found forever.
    if (!remove(found)) {
      wdi_warn("failed to delete existing certificate '%s' from '%s' store: %s", subject, store_name,
               windows_error_text(0));
      break;
    }
    wdi_info("deleted existing certificate '%s' from '%s' store", subject, store_name);
  }
  return TRUE;
}

extern "C" int DeletePrivateKey(PCCERT_CONTEXT cert) {
  // The key goes first, before anything that could fail on the way: entry points, stores.
  bool deleted = delete_signing_key_container() != FALSE;
  if (!deleted) wdi_warn("failed to delete private key: %s", windows_error_text(0));

  auto open = required_import<imports::CertOpenStore>(__func__);
  if (open == nullptr) return FALSE;
  if (required_import<imports::CertCloseStore>(__func__) == nullptr) return FALSE;
  auto add_encoded = required_import<imports::CertAddEncodedCertificateToStore>(__func__);
  if (add_encoded == nullptr) return FALSE;
  auto set_property = required_import<imports::CertSetCertificateContextProperty>(__func__);
  if (set_property == nullptr) return FALSE;
  auto free_cert = required_import<imports::CertFreeCertificateContext>(__func__);
  if (free_cert == nullptr) return FALSE;
  if (cert == nullptr) return deleted ? TRUE : FALSE;

  // The stored copies still name the container; replace them with copies that carry no key link.
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    velmor::unique_cert_store store = open_system_store(open, store_name);
    if (store.get() == nullptr) continue;
    PCCERT_CONTEXT stored = nullptr;
    if (add_encoded(store.get(), X509_ASN_ENCODING, cert->pbCertEncoded, cert->cbCertEncoded,
                    CERT_STORE_ADD_REPLACE_EXISTING, &stored) &&
        stored != nullptr) {
      CRYPT_DATA_BLOB name = friendly_name();
      if (!set_property(stored, CERT_FRIENDLY_NAME_PROP_ID, 0, &name))
        wdi_warn("coud not set friendly name: %s", windows_error_text(0));
      free_cert(stored);
    } else {
      wdi_warn("failed to update '%s': %s", store_name, windows_error_text(0));
    }
  }
  return deleted ? TRUE : FALSE;
}

extern "C" int SelfSignFile(const char* file_path, const char* subject) {
  auto sign = required_import<imports::SignerSignEx>(__func__);
  if (sign == nullptr) return FALSE;
  auto free_context = required_import<imports::SignerFreeSignerContext>(__func__);
  if (free_context == nullptr) return FALSE;
  auto free_cert = required_import<imports::CertFreeCertificateContext>(__func__);
  if (free_cert == nullptr) return FALSE;
  if (required_import<imports::CertCloseStore>(__func__) == nullptr) return FALSE;

  // One certificate per package kind: the earlier ones of this subject go, found by the record
  // and the marks, never by the subject alone, and deleted where the deletion is kept.
  remove_previous_certificates(subject);

  PCCERT_CONTEXT cert = CreateSelfSignedCert(subject);
  if (cert == nullptr) return FALSE;
  velmor::unique_cert_context cert_owner(cert);
  wdi_dbg("successfully created certificate '%s'", subject);

  // Whatever happens from here on, the key goes.
  velmor::scope_exit drop_key([&] {
    if (DeletePrivateKey(cert)) engine_log(LOG_INFO, "SelfSignFile", "successfully deleted private key");
  });

  // Recorded before it is trusted: a run killed after the addition leaves a record to find it by.
  if (!record_own_certificate(cert, subject)) {
    wdi_warn("could not record certificate '%s': not adding it", subject);
    return FALSE;
  }
  if (!AddCertToStore(cert, "Root") || !AddCertToStore(cert, "TrustedPublisher")) return FALSE;
  wdi_info("added certificate '%s' to 'Root' and 'TrustedPublisher' stores", subject);

  unique_malloc<wchar_t> wpath(utf8_to_utf16(file_path));
  if (!wpath) {
    wdi_warn("unable to convert '%s' to UTF16", file_path);
    return FALSE;
  }

  DWORD index = 0;
  SIGNER_FILE_INFO file_info = {sizeof(SIGNER_FILE_INFO), wpath.get(), nullptr};
  SIGNER_SUBJECT_INFO subject_info = {};
  subject_info.cbSize = sizeof(subject_info);
  subject_info.pdwIndex = &index;
  subject_info.dwSubjectChoice = SIGNER_SUBJECT_FILE;
  subject_info.pSignerFileInfo = &file_info;

  SIGNER_CERT_STORE_INFO store_info = {sizeof(SIGNER_CERT_STORE_INFO), cert, SIGNER_CERT_POLICY_CHAIN, nullptr};
  SIGNER_CERT signer_cert = {};
  signer_cert.cbSize = sizeof(signer_cert);
  signer_cert.dwCertChoice = SIGNER_CERT_STORE;
  signer_cert.pCertStoreInfo = &store_info;
  signer_cert.hwnd = nullptr;

  // Opus info: an empty sequence. Statement type: individual code signing.
  BYTE opus_info[] = {0x30, 0x00};
  BYTE statement_type[] = {0x30, 0x0C, 0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x15};
  CRYPT_ATTR_BLOB opus_value = {sizeof(opus_info), opus_info};
  CRYPT_ATTR_BLOB statement_value = {sizeof(statement_type), statement_type};
  CRYPT_ATTRIBUTE attributes[2] = {
      {const_cast<char*>(SPC_SP_OPUS_INFO_OBJID), 1, &opus_value},
      {const_cast<char*>(SPC_STATEMENT_TYPE_OBJID), 1, &statement_value},
  };
  CRYPT_ATTRIBUTES authenticated = {2, attributes};
  SIGNER_SIGNATURE_INFO signature_info = {};
  signature_info.cbSize = sizeof(signature_info);
  signature_info.algidHash = CALG_SHA_256;
  signature_info.dwAttrChoice = SIGNER_NO_ATTR;
  signature_info.pAttrAuthcode = nullptr;
  signature_info.psAuthenticated = &authenticated;
  signature_info.psUnauthenticated = nullptr;

  SIGNER_CONTEXT* signer_context = nullptr;
  HRESULT hr = sign(0, &subject_info, &signer_cert, &signature_info, nullptr, nullptr, nullptr, nullptr,
                    &signer_context);
  DWORD sign_error = ::GetLastError();
  if (signer_context != nullptr) free_context(signer_context);
  if (hr != S_OK) {
    wdi_warn("SignerSignEx failed. hResult #%X, error %s", static_cast<unsigned>(hr),
             windows_error_text(sign_error));
    return FALSE;
  }
  wdi_info("successfully signed file '%s'", file_path);
  return TRUE;
}
