// Recognising our certificates. The signing step records the thumbprint of each certificate it
// makes trusted (journal.h, a key only administrators can write) before adding it: those are ours
// beyond doubt. Certificates made before the record existed are known by the marks the signing step
// wrote into them (self-issued, our publisher address as alternative name, our friendly name), and
// only when they are older than the record: anyone can copy the marks, nobody can record a
// thumbprint, and a look-alike made since the record began is no certificate of ours. Never by a
// subject alone.
#include "engine/signing/own_certificates.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/recovery/journal.h"
#include "engine/signing/publisher.h"
#include "engine/signing/publisher_alt_name.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/utf8.h"

namespace {

namespace imports = velmor::imports;

bool same_blob(const CRYPT_DATA_BLOB& blob, const BYTE* data, DWORD size) {
  return blob.cbData == size && (size == 0 || std::memcmp(blob.pbData, data, size) == 0);
}

bool is_ours(PCCERT_CONTEXT cert, const std::vector<BYTE>& alt_name) {
  auto find_extension = imports::CertFindExtension();
  auto get_property = imports::CertGetCertificateContextProperty();
  if (find_extension == nullptr || get_property == nullptr) return false;
  const CERT_INFO* info = cert->pCertInfo;
  if (!same_blob(info->Issuer, info->Subject.pbData, info->Subject.cbData)) return false;
  PCERT_EXTENSION extension = find_extension(szOID_SUBJECT_ALT_NAME, info->cExtension, info->rgExtension);
  if (extension == nullptr ||
      !same_blob(extension->Value, alt_name.data(), static_cast<DWORD>(alt_name.size()))) {
    return false;
  }
  wchar_t name[64] = {};
  DWORD size = sizeof(name) - sizeof(wchar_t);
  if (!get_property(cert, CERT_FRIENDLY_NAME_PROP_ID, name, &size)) return false;
  return std::wcscmp(name, VELMOR_CERT_FRIENDLY_NAME) == 0;
}


std::wstring thumbprint(PCCERT_CONTEXT cert) {
  auto get_property = imports::CertGetCertificateContextProperty();
  BYTE hash[20];
  DWORD size = sizeof(hash);
  if (get_property == nullptr || !get_property(cert, CERT_SHA1_HASH_PROP_ID, hash, &size) || size != sizeof(hash))
    return std::wstring();
  wchar_t text[41];
  for (DWORD i = 0; i < size; ++i) std::swprintf(text + 2 * i, 3, L"%02x", hash[i]);
  return text;
}

// A certificate's start is kept in whole seconds: one made in the second the record began could
// look older. A margin of a few seconds keeps such a look-alike out.
constexpr unsigned long long kStartMargin = 3ull * 10000000ull;

bool older_than_record(PCCERT_CONTEXT cert) {
  FILETIME began;
  if (!velmor::journal::began(&began)) return false;
  ULARGE_INTEGER start = {};
  start.LowPart = cert->pCertInfo->NotBefore.dwLowDateTime;
  start.HighPart = cert->pCertInfo->NotBefore.dwHighDateTime;
  ULARGE_INTEGER record = {};
  record.LowPart = began.dwLowDateTime;
  record.HighPart = began.dwHighDateTime;
  return start.QuadPart + kStartMargin < record.QuadPart;
}

bool has_subject(PCCERT_CONTEXT cert, const std::vector<BYTE>& subject) {
  return same_blob(cert->pCertInfo->Subject, subject.data(), static_cast<DWORD>(subject.size()));
}

// What one removal looks for: recorded thumbprints (of one subject, or all), and the marks.
struct own_search {
  std::set<std::wstring> recorded;
  std::vector<BYTE> alt_name;
  std::vector<BYTE> subject;  // empty: every subject
  bool ready = false;
};

own_search search_for(const char* subject, const char* caller) {
  own_search search;
  std::wstring wide_subject = subject != nullptr ? velmor::utf16_string(subject) : std::wstring();
  for (const auto& record : velmor::journal::list(velmor::journal::kCertificates)) {
    if (subject == nullptr || record.second == wide_subject) search.recorded.insert(record.first);
  }
  auto encode = imports::CryptEncodeObject();
  if (encode == nullptr || !velmor::encode_publisher_alt_name(encode, search.alt_name)) {
    engine_log(LOG_ERROR, caller, "could not encode the publisher address: %s", windows_error_text(0));
    return search;
  }
  if (subject != nullptr) {
    auto to_name = imports::CertStrToNameA();
    DWORD size = 0;
    if (to_name == nullptr ||
        !to_name(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr)) {
      engine_log(LOG_ERROR, caller, "could not encode '%s': %s", subject, windows_error_text(0));
      return search;
    }
    search.subject.assign(size, 0);
    if (!to_name(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, search.subject.data(), &size, nullptr)) {
      engine_log(LOG_ERROR, caller, "could not encode '%s': %s", subject, windows_error_text(0));
      return search;
    }
    search.subject.resize(size);
  }
  search.ready = true;
  return search;
}

bool matches(PCCERT_CONTEXT cert, const own_search& search, const std::vector<BYTE>& alt_name) {
  if (!search.subject.empty() && !has_subject(cert, search.subject)) return false;
  std::wstring thumb = thumbprint(cert);
  if (!thumb.empty() && search.recorded.count(thumb) != 0) return true;
  return is_ours(cert, alt_name) && older_than_record(cert);
}

// Deletes what the search finds in the registry part of one local-machine store, where a deletion
// is kept (Wine keeps none made through the whole system store). How many, or a negative status.
int remove_from_store(const own_search& search, const char* store_name, const char* caller) {
  auto open = imports::CertOpenStore();
  auto enumerate = imports::CertEnumCertificatesInStore();
  auto duplicate = imports::CertDuplicateCertificateContext();
  auto remove = imports::CertDeleteCertificateFromStore();
  if (open == nullptr || enumerate == nullptr || duplicate == nullptr || remove == nullptr) {
    engine_log(LOG_ERROR, caller, "the certificate functions are not available");
    return WDI_ST_UNSUPPORTED;
  }
  velmor::unique_cert_store store(open(CERT_STORE_PROV_SYSTEM_REGISTRY_A, X509_ASN_ENCODING, 0,
                                       CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, store_name));
  if (!store) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return 0;  // no such store: nothing of ours in it
    engine_log(LOG_ERROR, caller, "could not open the '%s' store: %s", store_name, windows_error_text(0));
    return WDI_ST_DENIED;
  }
  // Found first, deleted after: a deletion in the middle of an enumeration may restart it.
  std::vector<velmor::unique_cert_context> found;
  for (PCCERT_CONTEXT cert = enumerate(store.get(), nullptr); cert != nullptr; cert = enumerate(store.get(), cert)) {
    if (matches(cert, search, search.alt_name)) found.emplace_back(duplicate(cert));
  }
  int removed = 0;
  for (velmor::unique_cert_context& cert : found) {
    // The deletion frees the context it gets, whether or not it succeeds.
    if (remove(cert.release())) {
      ++removed;
    } else {
      engine_log(LOG_WARNING, caller, "could not delete a certificate of this tool from the '%s' store: %s", store_name,
                 windows_error_text(0));
    }
  }
  return removed;
}

// A recorded certificate found in neither store is gone for good: its record goes too.
void forget_gone(const own_search& search) {
  auto open = imports::CertOpenStore();
  auto enumerate = imports::CertEnumCertificatesInStore();
  if (open == nullptr || enumerate == nullptr) return;
  std::set<std::wstring> present;
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    velmor::unique_cert_store store(open(CERT_STORE_PROV_SYSTEM_REGISTRY_A, X509_ASN_ENCODING, 0,
                                         CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG |
                                             CERT_STORE_READONLY_FLAG,
                                         store_name));
    if (!store) {
      if (::GetLastError() == ERROR_FILE_NOT_FOUND) continue;
      return;  // cannot tell: every record stays
    }
    for (PCCERT_CONTEXT cert = enumerate(store.get(), nullptr); cert != nullptr; cert = enumerate(store.get(), cert)) {
      std::wstring thumb = thumbprint(cert);
      if (search.recorded.count(thumb) != 0) present.insert(thumb);
    }
  }
  for (const std::wstring& thumb : search.recorded) {
    if (present.count(thumb) == 0) velmor::journal::remove(velmor::journal::kCertificates, thumb.c_str());
  }
}

}  // namespace

extern "C" int record_own_certificate(PCCERT_CONTEXT cert, const char* subject) {
  std::wstring thumb = thumbprint(cert);
  if (thumb.empty()) return FALSE;
  return velmor::journal::add(velmor::journal::kCertificates, thumb.c_str(), velmor::utf16_string(subject).c_str(),
                              "SelfSignFile")
             ? TRUE
             : FALSE;
}

extern "C" int remove_previous_certificates(const char* subject) {
  const char* caller = "SelfSignFile";
  own_search search = search_for(subject, caller);
  if (!search.ready) return FALSE;
  int status = TRUE;
  for (const char* store_name : {"Root", "TrustedPublisher"}) {
    int removed = remove_from_store(search, store_name, caller);
    if (removed < 0) status = FALSE;
    if (removed > 0) {
      engine_log(LOG_INFO, caller, "deleted %d earlier certificate(s) '%s' of this tool from the '%s' store", removed,
                 subject, store_name);
    }
  }
  forget_gone(search);
  return status;
}

extern "C" int wdi_remove_own_certificates(const char* store_name) {
  const char* caller = "wdi_remove_own_certificates";
  own_search search = search_for(nullptr, caller);
  if (!search.ready) return WDI_ST_OTHER;
  int removed = remove_from_store(search, store_name, caller);
  if (removed > 0) engine_log(LOG_INFO, caller, "deleted %d certificate(s) of this tool from the '%s' store", removed, store_name);
  if (removed >= 0) forget_gone(search);
  return removed;
}
