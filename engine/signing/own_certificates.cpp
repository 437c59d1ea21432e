// Recognising our certificates by what the signing step writes into them (signing.cpp), never by a
// subject alone: anyone can make a certificate named like ours, not one that also carries our
// publisher address, is self-issued and has our friendly name in the machine store.
#include "engine/signing/own_certificates.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/signing/publisher.h"
#include "engine/signing/publisher_alt_name.h"
#include "win/handles.h"
#include "win/imports.h"

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

}  // namespace

extern "C" int wdi_remove_own_certificates(const char* store_name) {
  auto open = imports::CertOpenStore();
  auto enumerate = imports::CertEnumCertificatesInStore();
  auto duplicate = imports::CertDuplicateCertificateContext();
  auto remove = imports::CertDeleteCertificateFromStore();
  if (open == nullptr || enumerate == nullptr || duplicate == nullptr || remove == nullptr) {
    wdi_err("the certificate functions are not available");
    return WDI_ST_UNSUPPORTED;
  }
  std::vector<BYTE> alt_name;
  auto encode = imports::CryptEncodeObject();
  if (encode == nullptr || !velmor::encode_publisher_alt_name(encode, alt_name)) {
    wdi_err("could not encode the publisher address: %s", windows_error_text(0));
    return WDI_ST_OTHER;
  }
  // The registry part of the system store, where the signing step added them: a deletion there is
  // kept (Wine keeps none made through the whole system store).
  velmor::unique_cert_store store(open(CERT_STORE_PROV_SYSTEM_REGISTRY_A, X509_ASN_ENCODING, 0,
                                       CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, store_name));
  if (!store) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return 0;  // no such store: nothing of ours in it
    wdi_err("could not open the '%s' store: %s", store_name, windows_error_text(0));
    return WDI_ST_DENIED;
  }
  // Found first, deleted after: a deletion in the middle of an enumeration may restart it.
  std::vector<velmor::unique_cert_context> found;
  for (PCCERT_CONTEXT cert = enumerate(store.get(), nullptr); cert != nullptr; cert = enumerate(store.get(), cert)) {
    if (is_ours(cert, alt_name)) found.emplace_back(duplicate(cert));
  }
  int removed = 0;
  for (velmor::unique_cert_context& cert : found) {
    // The deletion frees the context it gets, whether or not it succeeds.
    if (remove(cert.release())) {
      ++removed;
    } else {
      wdi_warn("could not delete a certificate of this tool from the '%s' store: %s", store_name,
               windows_error_text(0));
    }
  }
  if (removed > 0) wdi_info("deleted %d certificate(s) of this tool from the '%s' store", removed, store_name);
  return removed;
}
