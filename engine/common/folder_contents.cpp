#include "engine/common/folder_contents.h"

#include <windows.h>

#include <cwchar>

#include "win/handles.h"

namespace velmor {

void remove_folder_contents(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  unique_find find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return;
  do {
    if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0) continue;
    std::wstring path = folder + L"\\" + entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
      ::SetFileAttributesW(path.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      ::DeleteFileW(path.c_str());
      continue;
    }
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) remove_folder_contents(path);
    ::RemoveDirectoryW(path.c_str());
  } while (::FindNextFileW(find.get(), &entry));
}

}  // namespace velmor
