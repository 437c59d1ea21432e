// The publisher identity written into the self-signed certificates.
#pragma once

// The publisher's web address (alternative name of the certificate).
#define VELMOR_PUBLISHER_URL L"https://velmor.example/"
// The certification practice statement (policy qualifier of the certificate).
#define VELMOR_CPS_URL "https://velmor.example/cps"
// The friendly name of the certificates placed in the machine stores.
#define VELMOR_CERT_FRIENDLY_NAME L"Velmor"
// The machine key containers that hold a certificate's key until it has signed: this text and a
// random part, a new one for each signing.
#define VELMOR_KEY_CONTAINER_PREFIX L"Velmor key"
// The one name earlier versions used for every signing: deleted when found, never used.
#define VELMOR_LEGACY_KEY_CONTAINER L"Velmor key container"
