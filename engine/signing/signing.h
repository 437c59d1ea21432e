// Self-signing of a catalog with a one-off certificate that the machine trusts.
//   SelfSignFile          makes the certificate, trusts it, signs the file, destroys the key
//   CreateSelfSignedCert  a new code-signing certificate whose key sits in the machine key container
//   AddCertToStore        puts a certificate into a local-machine system store
//   RemoveCertFromStore   deletes every certificate of one subject from a local-machine system store
//   DeletePrivateKey      deletes the key container and unlinks the stored copies from it
// All return non-zero for success; text arguments are UTF-8.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#ifdef __cplusplus
extern "C" {
#endif

int SelfSignFile(const char* file_path, const char* subject);
// Free the result with CertFreeCertificateContext; null on failure.
PCCERT_CONTEXT CreateSelfSignedCert(const char* subject);
int AddCertToStore(PCCERT_CONTEXT cert, const char* store_name);
int RemoveCertFromStore(const char* subject, const char* store_name);
// Non-zero when the key container is gone.
int DeletePrivateKey(PCCERT_CONTEXT cert);

#ifdef __cplusplus
}
#endif
