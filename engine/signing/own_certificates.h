// The certificates this tool made, told from every other one in the machine's stores.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Deletes from a local-machine system store ("Root", "TrustedPublisher") every certificate the
// signing step made: self-issued, carrying its publisher address as the alternative name and its
// friendly name. Returns how many were deleted, or a negative status when the store cannot be
// opened; a deletion that fails is logged and leaves the certificate counted out.
int wdi_remove_own_certificates(const char* store_name);

#ifdef __cplusplus
}
#endif
