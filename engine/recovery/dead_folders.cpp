// Protected folders of preparations whose process is gone. A live run holds its folder open without
// delete sharing from creation to removal (protected_folder), so a folder that can be opened for
// deletion belongs to nobody any more; one that cannot is left alone, whoever holds it.
#include "engine/recovery/recovery_internal.h"

#include <cwchar>
#include <cwctype>
#include <string>

#include "engine/common/error_text.h"
#include "engine/common/folder_contents.h"
#include "engine/common/log.h"
#include "engine/payload/security.h"
#include "win/handles.h"
#include "win/utf8.h"

namespace velmor {
namespace recovery {
namespace {

constexpr size_t kHexDigits = 32;

// "Velmor-" and 32 lower-case hex digits: the only names protected_folder gives.
bool is_protected_folder_name(const wchar_t* name) {
  const wchar_t prefix[] = L"Velmor-";
  const size_t prefix_length = sizeof(prefix) / sizeof(prefix[0]) - 1;
  if (std::wcsncmp(name, prefix, prefix_length) != 0 || std::wcslen(name) != prefix_length + kHexDigits) return false;
  for (size_t i = prefix_length; name[i] != L'\0'; ++i) {
    if (!std::iswxdigit(name[i]) || std::iswupper(name[i])) return false;
  }
  return true;
}

}  // namespace

void remove_dead_protected_folders() {
  wchar_t windows[MAX_PATH];
  UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring base(windows);
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  base += L"Temp";
  WIN32_FIND_DATAW entry;
  unique_find find(::FindFirstFileW((base + L"\\Velmor-*").c_str(), &entry));
  if (!find) return;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !is_protected_folder_name(entry.cFileName)) {
      continue;
    }
    std::wstring path = base + L"\\" + entry.cFileName;
    // Opening for deletion fails with a sharing violation while its run holds it. Held by us
    // from here as a live run holds its folder (a listing needs that sharing), so that no one can
    // swap it for a link while its contents go.
    unique_file probe(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!probe) continue;
    probe.reset();
    unique_file mine = open_pinned(path);
    if (!mine) continue;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(mine.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      continue;
    }
    remove_folder_contents(path);
    mine.reset();
    std::string name = utf8_string(path.c_str());
    if (::RemoveDirectoryW(path.c_str())) {
      engine_log(LOG_INFO, "recover_dead_runs", "removed the protected folder '%s' of a run that did not finish",
                 name.c_str());
    } else {
      // Still in use: an installer the dead run started may run from it; a later run retries.
      engine_log(LOG_WARNING, "recover_dead_runs", "could not remove the protected folder '%s' of a run that did not finish: %s",
                 name.c_str(), windows_error_text(0));
    }
  } while (::FindNextFileW(find.get(), &entry));
}

}  // namespace recovery
}  // namespace velmor
