// The machine key container that holds a signing key from its creation until the signature is
// made: a fresh name each time, made new (never an existing container), readable by
// administrators and the system account only.
//   new_key_container            creates and records the container of this signing
//   signing_key_container        the recorded container's name
//   delete_signing_key_container deletes it
#pragma once

#include <windows.h>
#include <wincrypt.h>

// Every signing key is made by this provider, named: the default provider of a type is chosen per
// user (HKCU), by whoever runs the tool. It makes RSA keys of this length on every Windows from XP
// SP3, which verifies them; the certificate is trusted as a root.
#define VELMOR_SIGNING_PROVIDER MS_ENHANCED_PROV_W
#define VELMOR_SIGNING_KEY_BITS 2048u

#ifdef __cplusplus
extern "C" {
#endif

// Creates a key container of a fresh unguessable name, with a DACL for administrators and the
// system account, and records it (replacing an earlier record, whose container is deleted first).
// A container of the name earlier versions used for every signing is deleted when found. Non-zero
// with *provider open on the container; zero (last error set) when none could be made.
int new_key_container(HCRYPTPROV* provider);

// The recorded container's name, or null when none is recorded.
const wchar_t* signing_key_container(void);

// Deletes the recorded container and forgets it. Non-zero when it was deleted; zero (last error
// set) when none was recorded or it could not be deleted.
int delete_signing_key_container(void);

// Deletes every container the record names that this process is not using: the key of a signing
// that was killed before it could delete it. Call only while no other process can be signing (with
// the preparation's machine-wide mutex held). Logs one line per container deleted.
void delete_recorded_key_containers(void);

// Tests: the source of the random part of the name (null: the system's random generator).
extern void (*key_container_random_for_tests)(BYTE* bytes, DWORD size);

#ifdef __cplusplus
}
#endif
