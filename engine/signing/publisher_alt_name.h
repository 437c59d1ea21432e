// The certificates' alternative-name extension: the publisher's web address, encoded once for the
// signing step and for telling our certificates apart from others, so that both see the same bytes.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace velmor {

bool encode_publisher_alt_name(decltype(&::CryptEncodeObject) encode, std::vector<BYTE>& out);

}  // namespace velmor
