// The certificates this tool made, told from every other one in the machine's stores.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#include <windows.h>
#include <wincrypt.h>

// Deletes from a local-machine system store ("Root", "TrustedPublisher") every certificate the
// signing step made: those whose thumbprint it recorded, and those made before the record began
// that carry its marks (self-issued, its publisher address as the alternative name, its friendly
// name). Returns how many were deleted, or a negative status when the store cannot be opened; a
// deletion that fails is logged and leaves the certificate counted out. Records of certificates
// gone from both stores are dropped.
int wdi_remove_own_certificates(const char* store_name);

// Records the thumbprint of a certificate the signing step is about to make trusted, with its
// subject (the package kind it signs for). Non-zero when recorded.
int record_own_certificate(PCCERT_CONTEXT cert, const char* subject);

// Deletes this tool's earlier certificates of `subject` from both stores, found as
// wdi_remove_own_certificates finds them, so that each package kind keeps one. Non-zero when both
// stores could be searched.
int remove_previous_certificates(const char* subject);

#ifdef __cplusplus
}
#endif
