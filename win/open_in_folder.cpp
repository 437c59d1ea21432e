// Through the native call, which every Windows from NT on has: the Win32 file calls take only full
// paths, and a path is resolved from its root on every call.
#include "win/open_in_folder.h"

#include <winternl.h>

#include <cwchar>

#include "win/imports.h"

namespace velmor {
namespace {

ULONG native_disposition(DWORD creation) {
  switch (creation) {
    case CREATE_NEW: return FILE_CREATE;
    case CREATE_ALWAYS: return FILE_OVERWRITE_IF;
    case OPEN_ALWAYS: return FILE_OPEN_IF;
    case OPEN_EXISTING: return FILE_OPEN;
    default: return 0;
  }
}

bool is_one_part(const wchar_t* name) {
  if (name == nullptr || name[0] == L'\0' || std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0)
    return false;
  return std::wcspbrk(name, L"\\/") == nullptr;
}

}  // namespace

unique_file open_in_folder(HANDLE folder, const wchar_t* name, object_kind kind, DWORD access, DWORD share,
                           DWORD creation, SECURITY_ATTRIBUTES* security, bool* existed) {
  if (existed != nullptr) *existed = false;
  ULONG disposition = native_disposition(creation);
  size_t length = name != nullptr ? std::wcslen(name) : 0;
  if (folder == nullptr || folder == INVALID_HANDLE_VALUE || disposition == 0 || !is_one_part(name) ||
      length * sizeof(wchar_t) > 0xFFF0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return unique_file();
  }
  auto create = imports::NtCreateFile();
  auto to_error = imports::RtlNtStatusToDosError();
  if (create == nullptr || to_error == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return unique_file();
  }
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name);
  text.Length = static_cast<USHORT>(length * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder,
                             security != nullptr ? security->lpSecurityDescriptor : nullptr);
  IO_STATUS_BLOCK status_block = {};
  // As CreateFileW: attributes readable and the handle waitable, for synchronous I/O.
  ULONG options = FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT |
                  (kind == object_kind::folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
  HANDLE handle = nullptr;
  NTSTATUS result = create(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &status_block, nullptr,
                           FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
  if (result < 0) {
    ::SetLastError(to_error(result));
    return unique_file();
  }
  if (existed != nullptr) *existed = status_block.Information == FILE_OPENED || status_block.Information == FILE_OVERWRITTEN;
  ::SetLastError(ERROR_SUCCESS);
  return unique_file(handle);
}

}  // namespace velmor
