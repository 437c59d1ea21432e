// Removing what a folder of the tool holds, for folders only administrators can change (dead runs'
// protected folders, kept package sources): nothing below is followed through a link.
#pragma once

#include <string>

namespace velmor {

// Everything below `folder`, never following a link: a link is removed as the link itself.
// Read-only files lose that attribute first. Failures leave what could not go.
void remove_folder_contents(const std::wstring& folder);

}  // namespace velmor
