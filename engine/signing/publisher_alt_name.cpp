#include "engine/signing/publisher_alt_name.h"

#include "engine/signing/publisher.h"

namespace velmor {

bool encode_publisher_alt_name(decltype(&::CryptEncodeObject) encode, std::vector<BYTE>& out) {
  CERT_ALT_NAME_ENTRY url = {};
  url.dwAltNameChoice = CERT_ALT_NAME_URL;
  url.pwszURL = const_cast<wchar_t*>(VELMOR_PUBLISHER_URL);
  CERT_ALT_NAME_INFO alt_name = {1, &url};
  DWORD size = 0;
  if (!encode(X509_ASN_ENCODING, X509_ALTERNATE_NAME, &alt_name, nullptr, &size)) return false;
  out.assign(size, 0);
  if (!encode(X509_ASN_ENCODING, X509_ALTERNATE_NAME, &alt_name, out.data(), &size)) return false;
  out.resize(size);
  return true;
}

}  // namespace velmor
