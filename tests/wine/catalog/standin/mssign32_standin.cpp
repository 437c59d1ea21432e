// Test stand-in for mssign32.dll: records SignerSignEx with every argument (see record.h), and what
// the machine looks like at that moment: whether the signing certificate is in the local machine's
// "Root" and "TrustedPublisher" stores and whether its key container exists. Answers S_OK with a
// signer context, as Windows does; the file is left as it is. VELMOR_TEST_SIGN_DELAY_MS holds the
// call that long first.
#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "win/signer.h"
#include "record.h"

using standin::line;

namespace {

int in_machine_store(PCCERT_CONTEXT cert, const char* store_name) {
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, store_name);
  if (store == nullptr) return -1;
  PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr);
  int result = found != nullptr ? 1 : 0;
  if (found != nullptr) ::CertFreeCertificateContext(found);
  ::CertCloseStore(store, 0);
  return result;
}

void record_certificate(line& l, PCCERT_CONTEXT cert) {
  char subject[512] = "";
  ::CertNameToStrA(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, subject, sizeof(subject));
  BYTE thumb[20];
  DWORD thumb_size = sizeof(thumb);
  if (!::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, thumb, &thumb_size)) thumb_size = 0;
  l.text("cert_subject", subject).bytes("cert_sha1", thumb, thumb_size);
  l.number("in_root", static_cast<unsigned long>(in_machine_store(cert, "Root")))
      .number("in_trusted_publisher", static_cast<unsigned long>(in_machine_store(cert, "TrustedPublisher")));

  DWORD size = 0;
  if (!::CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
    l.text("key_container", "(none)");
    return;
  }
  std::vector<BYTE> buffer(size);
  ::CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size);
  auto info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(buffer.data());
  l.wtext("key_container", info->pwszContainerName).number("key_prov_type", info->dwProvType)
      .hex32("key_flags", info->dwFlags).number("key_spec", info->dwKeySpec);
  HCRYPTPROV prov = 0;
  bool present = ::CryptAcquireContextW(&prov, info->pwszContainerName, info->pwszProvName, info->dwProvType,
                                        (info->dwFlags & CRYPT_MACHINE_KEYSET) | CRYPT_SILENT) != FALSE;
  if (present) ::CryptReleaseContext(prov, 0);
  l.number("key_present", present);
}

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI SignerSignEx(DWORD flags, SIGNER_SUBJECT_INFO* subject, SIGNER_CERT* signer_cert,
                                                  SIGNER_SIGNATURE_INFO* signature, SIGNER_PROVIDER_INFO* provider,
                                                  LPCWSTR timestamp_url, PCRYPT_ATTRIBUTES request, LPVOID sip_data,
                                                  SIGNER_CONTEXT** context) {
  // Held here, with the signing key's container in place, for a test that cuts the run at this point.
  char delay[16] = "";
  if (::GetEnvironmentVariableA("VELMOR_TEST_SIGN_DELAY_MS", delay, sizeof(delay)) > 0) {
    ::Sleep(std::strtoul(delay, nullptr, 10));
  }
  line l("SignerSignEx");
  l.hex32("flags", flags);
  if (subject != nullptr) {
    l.number("subject_size_ok", subject->cbSize == sizeof(*subject))
        .text("index", subject->pdwIndex != nullptr ? std::to_string(*subject->pdwIndex) : "(null)")
        .number("subject_choice", subject->dwSubjectChoice);
    if (subject->dwSubjectChoice == SIGNER_SUBJECT_FILE && subject->pSignerFileInfo != nullptr)
      l.number("file_info_size_ok", subject->pSignerFileInfo->cbSize == sizeof(SIGNER_FILE_INFO))
          .wtext("file", subject->pSignerFileInfo->pwszFileName)
          .number("file_handle_given", subject->pSignerFileInfo->hFile != nullptr);
  }
  if (signer_cert != nullptr) {
    l.number("cert_size_ok", signer_cert->cbSize == sizeof(*signer_cert))
        .number("cert_choice", signer_cert->dwCertChoice)
        .number("hwnd_given", signer_cert->hwnd != nullptr);
    if (signer_cert->dwCertChoice == SIGNER_CERT_STORE && signer_cert->pCertStoreInfo != nullptr) {
      SIGNER_CERT_STORE_INFO* s = signer_cert->pCertStoreInfo;
      l.number("store_info_size_ok", s->cbSize == sizeof(*s)).number("cert_policy", s->dwCertPolicy)
          .number("extra_store_given", s->hCertStore != nullptr);
      if (s->pSigningCert != nullptr) record_certificate(l, s->pSigningCert);
    }
  }
  if (signature != nullptr) {
    l.number("signature_size_ok", signature->cbSize == sizeof(*signature))
        .hex32("hash_alg", signature->algidHash).number("attr_choice", signature->dwAttrChoice)
        .number("authcode_given", signature->pAttrAuthcode != nullptr);
    PCRYPT_ATTRIBUTES auth = signature->psAuthenticated;
    l.text("authenticated", auth != nullptr ? std::to_string(auth->cAttr) : "(null)");
    for (DWORD i = 0; auth != nullptr && i < auth->cAttr; i++) {
      const CRYPT_ATTRIBUTE& a = auth->rgAttr[i];
      std::string key = "auth" + std::to_string(i);
      l.text((key + "_oid").c_str(), a.pszObjId != nullptr ? a.pszObjId : "(null)")
          .number((key + "_values").c_str(), a.cValue);
      for (DWORD v = 0; v < a.cValue; v++)
        l.bytes((key + "_value" + std::to_string(v)).c_str(), a.rgValue[v].pbData, a.rgValue[v].cbData);
    }
    l.text("unauthenticated", signature->psUnauthenticated != nullptr
                                  ? std::to_string(signature->psUnauthenticated->cAttr) : "(null)");
  }
  l.number("provider_given", provider != nullptr).number("timestamp_given", timestamp_url != nullptr)
      .number("request_given", request != nullptr).number("sip_data_given", sip_data != nullptr)
      .number("context_requested", context != nullptr);

  if (standin::should_fail("SignerSignEx")) {
    l.text("result", "fail");
    return HRESULT_FROM_WIN32(standin::fail_error());
  }
  if (context != nullptr) {
    *context = static_cast<SIGNER_CONTEXT*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(SIGNER_CONTEXT)));
    if (*context != nullptr) (*context)->cbSize = sizeof(SIGNER_CONTEXT);
  }
  l.text("result", "ok");
  return S_OK;
}

__declspec(dllexport) HRESULT WINAPI SignerFreeSignerContext(SIGNER_CONTEXT* context) {
  line("SignerFreeSignerContext").number("context_given", context != nullptr);
  if (context != nullptr) ::HeapFree(::GetProcessHeap(), 0, context);
  return S_OK;
}

}  // extern "C"
