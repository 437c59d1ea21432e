// The publisher identity written into the self-signed certificates.
#pragma once

// The publisher's web address (alternative name of the certificate).
#define VELMOR_PUBLISHER_URL L"https://velmor.example/"
// The certification practice statement (policy qualifier of the certificate).
#define VELMOR_CPS_URL "https://velmor.example/cps"
// The friendly name of the certificates placed in the machine stores.
#define VELMOR_CERT_FRIENDLY_NAME L"Velmor"
// The machine key container that holds a certificate's key until it has signed.
#define VELMOR_KEY_CONTAINER L"Velmor key container"
