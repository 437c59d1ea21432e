// Absolute paths: GetFullPathNameW with a buffer of the length it asks for.
#pragma once

#include <string>

namespace velmor {

// The absolute form of a path, resolved against the current directory; empty when it cannot be
// resolved (the Windows error is kept).
std::wstring full_path(const std::wstring& path);

}  // namespace velmor
