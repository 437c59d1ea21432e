// Files and folders opened by one name inside a folder the caller holds open. The name is looked up
// in that very folder object, not by a path from the volume root: a folder on the way cannot have
// been swapped for a link since it was checked, and the system does not walk the whole path again
// for every file.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace velmor {

enum class object_kind { file, folder };

// Opens or creates `name` (one part: no separator, not "." or "..") in the open folder `folder`, as
// CreateFileW would with these access, sharing, creation (CREATE_NEW, OPEN_ALWAYS, OPEN_EXISTING,
// CREATE_ALWAYS) and security arguments, never following a link in `name` itself, for synchronous
// reads and writes. `existed` (may be null) says whether an existing object was opened. An empty
// handle with the Windows error on failure.
unique_file open_in_folder(HANDLE folder, const wchar_t* name, object_kind kind, DWORD access, DWORD share,
                           DWORD creation, SECURITY_ATTRIBUTES* security, bool* existed);

}  // namespace velmor
