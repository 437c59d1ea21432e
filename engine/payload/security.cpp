// What the engine creates on disk belongs to the current user, and is never reached through a link.
// The package folders lie in places the user controls while the engine runs elevated: a junction or
// symbolic link planted as a folder, or a hard link planted as a file, would make it write
// somewhere else with administrator rights. So every folder from the caller's base down is opened
// without following a link, checked, and held open without delete sharing while it is used (so
// that it can be neither renamed nor replaced meanwhile), and an existing file is opened without
// following a link and checked on its handle before anything is written into it.
#include "engine/payload/security.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <shlobj.h>

#include <shlwapi.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/common/utf8.h"
#include "win/bounded_path.h"
#include "win/full_path.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/lock.h"
#include "win/open_in_folder.h"
#include "win/utf8.h"

using velmor::unique_file;
using velmor::unique_handle;
using velmor::unique_hlocal;
using velmor::unique_malloc;
using velmor::utf8_string;

extern "C" PSID get_sid(void) {
  unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    wdi_err("OpenProcessToken failed: %s", windows_error_text(0));
    return nullptr;
  }
  DWORD size = 0;
  if (::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size)) return nullptr;
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    wdi_err("GetTokenInformation (pre) failed: %s", windows_error_text(0));
    return nullptr;
  }
  unique_malloc<TOKEN_USER> user(static_cast<TOKEN_USER*>(std::calloc(1, size)));
  if (!user) return nullptr;
  if (!::GetTokenInformation(token.get(), TokenUser, user.get(), size, &size)) {
    wdi_err("GetTokenInformation (real) failed: %s", windows_error_text(0));
    return nullptr;
  }
  // There and back through the string form: the copy then comes from the system allocator, which
  // the caller releases with LocalFree.
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(user.get()->User.Sid, &text)) {
    wdi_err("unable to convert SID to string: %s", windows_error_text(0));
    return nullptr;
  }
  unique_hlocal text_owner(text);
  PSID sid = nullptr;
  if (!::ConvertStringSidToSidA(text, &sid)) {
    wdi_err("unable to convert string back to SID: %s", windows_error_text(0));
    return nullptr;
  }
  return sid;
}

namespace {

// Where a path's root (a drive or a share) ends, or null.
const wchar_t* skip_root(const wchar_t* path) {
  auto skip = velmor::imports::PathSkipRootW();
  return skip != nullptr ? skip(path) : nullptr;
}

// The user of the process token, read once: it cannot change while the process runs, and reading
// it (token, two queries, two conversions) cost more than the file each folder or file is made for.
// Null while it cannot be read; a later call tries again.
PSID process_user_sid() {
  static velmor::critical_section lock;
  static unique_hlocal sid;
  velmor::critical_section_lock hold(lock);
  if (!sid) sid.reset(get_sid());
  return sid.get();  // never replaced once set
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The absolute form of a UTF-8 path (one pair of enclosing quotes removed), without a trailing
// separator; a relative path is resolved against the current directory, read in full. Empty when
// the path cannot be converted or resolved (the Windows error is kept).
std::wstring full_path_of(const char* path) {
  unique_malloc<wchar_t> wide(utf8_to_utf16(path));
  if (!wide) {
    ::SetLastError(ERROR_INVALID_NAME);
    return std::wstring();
  }
  std::wstring given(wide.get());
  if (given.size() >= 2 && given.front() == L'"' && given.back() == L'"') given = given.substr(1, given.size() - 2);
  std::wstring full = velmor::full_path(given);
  if (full.empty()) return full;
  const wchar_t* root_end = skip_root(full.c_str());
  size_t root = root_end != nullptr ? static_cast<size_t>(root_end - full.c_str()) : 0;
  while (full.size() > root && is_separator(full.back())) full.pop_back();
  return full;
}

// The attributes and the number of names of an open file or folder. GetFileInformationByHandle
// reads everything, the file's name too, which costs Wine three times what these two answers
// cost; it stays for systems without the Ex call (XP) and for handles the Ex call refuses.
bool attributes_and_links(HANDLE handle, DWORD* attributes, DWORD* links) {
  if (auto query = velmor::imports::GetFileInformationByHandleEx()) {
    FILE_BASIC_INFO basic = {};
    FILE_STANDARD_INFO standard = {};
    if (query(handle, FileBasicInfo, &basic, sizeof(basic)) &&
        query(handle, FileStandardInfo, &standard, sizeof(standard))) {
      *attributes = basic.FileAttributes;
      *links = standard.NumberOfLinks;
      return true;
    }
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(handle, &info)) return false;
  *attributes = info.dwFileAttributes;
  *links = info.nNumberOfLinks;
  return true;
}

// Where an open folder really is (Vista and later): the path the system gives for the handle, without
// its "\\?\" prefix. True when that is the requested path, also after its short names are made
// long; true where the system cannot tell.
bool leads_to_itself(HANDLE folder, const std::wstring& requested, std::wstring* final_path) {
  auto get_final = velmor::imports::GetFinalPathNameByHandleW();
  if (get_final == nullptr) return true;
  std::wstring found(MAX_PATH, L'\0');
  DWORD length = get_final(folder, &found[0], static_cast<DWORD>(found.size()), 0);
  if (length >= found.size()) {
    found.assign(length + 1, L'\0');
    length = get_final(folder, &found[0], static_cast<DWORD>(found.size()), 0);
  }
  if (length == 0 || length >= found.size()) return true;
  found.resize(length);
  if (found.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    found.replace(0, 8, L"\\\\");
  } else if (found.compare(0, 4, L"\\\\?\\") == 0) {
    found.erase(0, 4);
  }
  *final_path = found;
  if (_wcsicmp(found.c_str(), requested.c_str()) == 0) return true;
  std::wstring long_form(MAX_PATH, L'\0');
  DWORD long_length = ::GetLongPathNameW(requested.c_str(), &long_form[0], static_cast<DWORD>(long_form.size()));
  if (long_length == 0 || long_length >= long_form.size()) return false;
  long_form.resize(long_length);
  return _wcsicmp(found.c_str(), long_form.c_str()) == 0;
}

// The folder this process just made becomes the user's, as everything it writes for the user. One
// that cannot be given stays the administrators', which the user can still write into.
void give_to_user(HANDLE folder, const std::wstring& path, const char* caller) {
  PSID user = process_user_sid();
  DWORD error = user == nullptr ? ERROR_INVALID_SID
                                : ::SetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, user,
                                                    nullptr, nullptr, nullptr);
  if (error != ERROR_SUCCESS) {
    engine_log(LOG_WARNING, caller, "could not make the user owner of %s (%s)", utf8_string(path).c_str(),
               windows_error_text(error));
  }
}

}  // namespace

namespace velmor {

unique_file open_pinned(const std::wstring& path, DWORD more_access) {
  return unique_file(::CreateFileW(path.c_str(), FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE | more_access,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

size_t package_folders::held_prefix(const std::wstring& folder) const {
  size_t longest = 0;
  for (const std::wstring& held : held_paths_) {
    size_t n = held.size();
    if (n > longest && n <= folder.size() && _wcsnicmp(folder.c_str(), held.c_str(), n) == 0 &&
        (n == folder.size() || is_separator(folder[n]))) {
      longest = n;
    }
  }
  return longest;
}

HANDLE package_folders::handle_of(const std::wstring& folder) const {
  for (size_t i = 0; i < held_paths_.size(); ++i) {
    if (_wcsicmp(held_paths_[i].c_str(), folder.c_str()) == 0) return held_[i].get();
  }
  return nullptr;
}

// The owner only, no DACL: the default access applies. What a preparation creates for the user is
// the user's, every file alike, so the descriptor is made once.
SECURITY_ATTRIBUTES* package_folders::owner_security(const char* caller) {
  if (owner_built_ == built::not_yet) {
    PSID user = process_user_sid();
    bool made = user != nullptr && ::InitializeSecurityDescriptor(&owner_descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
                ::SetSecurityDescriptorOwner(&owner_descriptor_, user, FALSE);
    owner_built_ = made ? built::yes : built::failed;
    if (!made) engine_log(LOG_ERROR, caller, "could not set security descriptor: %s", windows_error_text(0));
  }
  if (owner_built_ != built::yes) return nullptr;
  // Pointed again on every call: the object may have been moved since.
  owner_attributes_ = {sizeof(owner_attributes_), &owner_descriptor_, FALSE};
  return &owner_attributes_;
}

int package_folders::hold(const std::wstring& folder, bool create, const char* caller) {
  const wchar_t* root_end = skip_root(folder.c_str());
  size_t position = root_end != nullptr ? static_cast<size_t>(root_end - folder.c_str()) : 0;
  // A held folder and the folders above it cannot have been renamed, removed or replaced since
  // they were checked: the walk goes on below it.
  size_t held = held_prefix(folder);
  if (held != 0) position = held + 1;
  // From the volume root down: a link in any folder above the package (the profile, the current
  // directory, a parent the user made) would lead the writes anywhere just as well.
  while (position < folder.size()) {
    size_t end = folder.find_first_of(L"\\/", position);
    if (end == std::wstring::npos) end = folder.size();
    std::wstring part = folder.substr(0, end);
    position = end + 1;
    int status = hold_one(part, create, caller);
    if (status != WDI_ST_OK) return status;
  }
  return WDI_ST_OK;
}

int package_folders::hold_one(const std::wstring& part, bool create, const char* caller) {
  bool created = false;
  if (create && ::GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES) {
    // Made with the default owner: the user becomes its owner only once it proved to be where it
    // was asked for (below), or a folder made through a link would be the user's wherever it is.
    created = ::CreateDirectoryW(part.c_str(), nullptr) != FALSE;
    if (!created) {
      DWORD error = ::GetLastError();
      if (error == ERROR_FILENAME_EXCED_RANGE) {
        engine_log(LOG_ERROR, caller, "directory name is too long %s", utf8_string(part).c_str());
        return WDI_ST_BAD_PARAMETER;
      }
      if (error != ERROR_ALREADY_EXISTS) {
        engine_log(LOG_ERROR, caller, "unable to create directory %s (%s)", utf8_string(part).c_str(),
                   windows_error_text(error));
        ::SetLastError(error);
        return WDI_ST_DENIED;
      }
    }
  }
  unique_file folder = created ? open_pinned(part, WRITE_OWNER) : open_pinned(part);
  if (!folder) {
    DWORD error = ::GetLastError();
    if (!create && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
      ::SetLastError(ERROR_PATH_NOT_FOUND);
      return WDI_ST_MISSING;
    }
    engine_log(LOG_ERROR, caller, "unable to open directory %s (%s)", utf8_string(part).c_str(),
               windows_error_text(error));
    ::SetLastError(error);
    return WDI_ST_DENIED;
  }
  DWORD attributes = 0;
  DWORD links = 0;
  if (!attributes_and_links(folder.get(), &attributes, &links)) {
    DWORD error = ::GetLastError();
    engine_log(LOG_ERROR, caller, "unable to read file attributes %s", windows_error_text(error));
    ::SetLastError(error);
    return WDI_ST_DENIED;
  }
  // The handle tells on Windows; the name is asked too, which Wine answers for its own links. Both
  // answers stay true while the folder is held.
  DWORD by_name = ::GetFileAttributesW(part.c_str());
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      (by_name != INVALID_FILE_ATTRIBUTES && (by_name & FILE_ATTRIBUTE_REPARSE_POINT))) {
    engine_log(LOG_ERROR, caller, "%s is a link (reparse point): not writing through it", utf8_string(part).c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    return WDI_ST_DENIED;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    engine_log(LOG_ERROR, caller, "%s is a file, not a directory", utf8_string(part).c_str());
    ::SetLastError(ERROR_DIRECTORY);
    return WDI_ST_DENIED;
  }
  std::wstring final_path;
  if (!leads_to_itself(folder.get(), part, &final_path)) {
    engine_log(LOG_ERROR, caller, "%s leads to %s: not writing through it", utf8_string(part).c_str(),
               utf8_string(final_path).c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    return WDI_ST_DENIED;
  }
  if (created) give_to_user(folder.get(), part, caller);
  held_.push_back(std::move(folder));
  held_paths_.push_back(part);
  return WDI_ST_OK;
}

}  // namespace velmor

namespace {

// Full paths of a base and of a path at or below it; 0 or a status (logged under caller).
int resolve_below(const char* base, const char* path, std::wstring* full_base, std::wstring* full,
                  const char* caller) {
  *full = full_path_of(path);
  *full_base = full_path_of(base);
  if (full->empty() || full_base->empty()) {
    DWORD error = ::GetLastError();
    engine_log(LOG_ERROR, caller, "unable to make %s absolute (%s)", path, windows_error_text(error));
    return WDI_ST_BAD_PARAMETER;
  }
  // The engine's buffers hold paths of up to MAX_PATH - 1 bytes in UTF-8: a longer one would be
  // cut into another path somewhere on the way.
  if (utf8_string(*full).size() > MAX_PATH - 1) {
    engine_log(LOG_ERROR, caller, "directory name is too long %s", path);
    return WDI_ST_BAD_PARAMETER;
  }
  size_t n = full_base->size();
  if (full->size() < n || _wcsnicmp(full->c_str(), full_base->c_str(), n) != 0 ||
      (full->size() > n && !is_separator((*full)[n]) && !is_separator((*full_base)[n - 1]))) {
    engine_log(LOG_ERROR, caller, "%s is not inside %s", path, base);
    return WDI_ST_BAD_PARAMETER;
  }
  return WDI_ST_OK;
}

// The folder part of a full path (the path itself when it is a root).
std::wstring folder_of(const std::wstring& full) {
  size_t slash = full.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return full;
  const wchar_t* root_end = skip_root(full.c_str());
  size_t root = root_end != nullptr ? static_cast<size_t>(root_end - full.c_str()) : 0;
  return full.substr(0, slash + 1 > root ? slash : root);
}

// An existing file opened without following a link: 0 when it is a plain file with no other name,
// else a status after logging. Handles of other kinds (Wine maps Unix devices to files; Windows
// gives none to a name in a folder) have no links to check.
int check_existing_file(HANDLE file, const std::wstring& full, const char* caller) {
  DWORD attributes = 0;
  DWORD links = 0;
  if (!attributes_and_links(file, &attributes, &links)) {
    if (::GetFileType(file) != FILE_TYPE_DISK) return WDI_ST_OK;
    DWORD error = ::GetLastError();
    engine_log(LOG_ERROR, caller, "unable to read file attributes %s", windows_error_text(error));
    ::SetLastError(error);
    return WDI_ST_DENIED;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    engine_log(LOG_ERROR, caller, "%s is a link (reparse point): not writing through it", utf8_string(full).c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    return WDI_ST_DENIED;
  }
  if (links > 1) {
    engine_log(LOG_ERROR, caller, "%s has other hard links: not writing into it", utf8_string(full).c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    return WDI_ST_DENIED;
  }
  return WDI_ST_OK;
}

// check_dir for a path at or below base: every folder from the base down is created if missing,
// then checked, and held in `folders`.
int check_dir_in(const char* base, const char* path, velmor::package_folders& folders) {
  if (path == nullptr || base == nullptr) return WDI_ST_BAD_PARAMETER;
  DWORD attributes = file_attributes_utf8(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      engine_log(LOG_ERROR, "check_dir", "%s is a file, not a directory", path);
      return WDI_ST_DENIED;
    }
  } else {
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      engine_log(LOG_ERROR, "check_dir", "unable to read file attributes %s", windows_error_text(error));
      return WDI_ST_DENIED;
    }
  }
  std::wstring full_base;
  std::wstring full;
  int status = resolve_below(base, path, &full_base, &full, "check_dir");
  if (status != WDI_ST_OK) return status;
  return folders.hold(full, true, "check_dir");
}

}  // namespace

extern "C" int check_dir(const char* path) {
  velmor::package_folders folders;
  return check_dir_in(path, path, folders);
}

namespace velmor {

int check_dir_below(const char* base, const char* path) {
  package_folders folders;
  return check_dir_in(base, path, folders);
}

int check_dir_below(const char* base, const char* path, package_folders& folders) {
  return check_dir_in(base, path, folders);
}

int package_file::check(const char* base, const char* path, const char* caller) {
  folders_ = package_folders();
  return check(base, path, caller, folders_);
}

int package_file::check(const char* base, const char* path, const char* caller, package_folders& folders) {
  std::wstring full_base;
  std::wstring full;
  int status = resolve_below(base, path, &full_base, &full, caller);
  if (status != WDI_ST_OK) return status;
  status = folders.hold(folder_of(full), false, caller);
  if (status != WDI_ST_OK) {
    if (status == WDI_ST_MISSING) engine_log(LOG_ERROR, caller, "%s does not exist",
                                             utf8_string(folder_of(full)).c_str());
    return status;
  }
  unique_file existing(::CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!existing) return WDI_ST_OK;  // nothing there yet
  return check_existing_file(existing.get(), full, caller);
}

namespace {

// The file at path opened for writing, created or (with `empty`) emptied, after its folders from
// base down and the file itself passed the checks. INVALID_HANDLE_VALUE with *error set on failure.
HANDLE open_for_writing(const char* base, const char* path, DWORD access, bool empty, velmor::package_folders& folders,
                        DWORD* error) {
  std::wstring full_base;
  std::wstring full;
  if (resolve_below(base, path, &full_base, &full, "fcreate") != WDI_ST_OK) {
    *error = ERROR_BAD_PATHNAME;
    return INVALID_HANDLE_VALUE;
  }
  // Held (by the caller) at least until the file is open.
  const std::wstring folder = folder_of(full);
  if (folders.hold(folder, false, "fcreate") != WDI_ST_OK) {
    *error = ::GetLastError();
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES* security = folders.owner_security("fcreate");
  // Opened, not created anew: an existing file is checked before it is emptied. Windows answers
  // the check's attribute query only on a handle with FILE_READ_ATTRIBUTES, which write access
  // alone does not give. The name is opened inside the held folder itself where there is one (a
  // root has none).
  HANDLE parent = folders.handle_of(folder);
  size_t name_at = folder.size() + (is_separator(folder.back()) ? 0 : 1);
  bool existed = false;
  unique_file file;
  if (parent != nullptr && name_at < full.size()) {
    file = velmor::open_in_folder(parent, full.c_str() + name_at, velmor::object_kind::file, access | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ, OPEN_ALWAYS, security, &existed);
  } else {
    file.reset(::CreateFileW(full.c_str(), access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, security, OPEN_ALWAYS,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    existed = file && ::GetLastError() == ERROR_ALREADY_EXISTS;
  }
  if (!file || !existed) {
    *error = ::GetLastError();
    return file.release();
  }
  if (check_existing_file(file.get(), full, "fcreate") != WDI_ST_OK ||
      (empty && ::GetFileType(file.get()) == FILE_TYPE_DISK && !::SetEndOfFile(file.get()))) {
    *error = ::GetLastError();
    return INVALID_HANDLE_VALUE;
  }
  return file.release();
}

}  // namespace

FILE* fcreate_below(const char* base, const char* path, const char* mode) {
  package_folders folders;
  return fcreate_below(base, path, mode, folders);
}

FILE* fcreate_below(const char* base, const char* path, const char* mode, package_folders& folders) {
  if (base == nullptr || path == nullptr || mode == nullptr) return nullptr;
  DWORD access = 0;
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c == 'r') access |= GENERIC_READ;
    if (*c == 'w') access |= GENERIC_WRITE;
  }
  if ((access & GENERIC_WRITE) == 0) return nullptr;

  DWORD error = ERROR_SUCCESS;
  HANDLE handle = open_for_writing(base, path, access, true, folders, &error);
  if (handle == INVALID_HANDLE_VALUE) {
    ::SetLastError(error);  // the failed step's, past the clean-up
    return nullptr;
  }
  // No text or append translation: the bytes written are the bytes on disk.
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), (access & GENERIC_READ) ? _O_RDWR : _O_WRONLY);
  if (fd == -1) {
    ::CloseHandle(handle);
    return nullptr;
  }
  FILE* stream = ::_fdopen(fd, mode);
  if (stream == nullptr) {
    ::_close(fd);
    return nullptr;
  }
  ::_setmode(fd, _O_BINARY);
  return stream;
}

write_result write_below(const char* base, const char* path, const void* data, size_t size,
                         package_folders& folders) {
  if (base == nullptr || path == nullptr || (data == nullptr && size != 0) || size > MAXDWORD) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return write_result::not_opened;
  }
  DWORD error = ERROR_SUCCESS;
  // Not emptied first: the same bytes are written over the same file again and again, and cutting
  // it costs a call of its own. What is left past the new end is cut after the write.
  unique_file file(open_for_writing(base, path, GENERIC_WRITE, false, folders, &error));
  if (!file) {
    ::SetLastError(error);
    return write_result::not_opened;
  }
  DWORD written = 0;
  if (!::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size)
    return write_result::not_written;
  LARGE_INTEGER length = {};
  if (::GetFileType(file.get()) == FILE_TYPE_DISK && ::GetFileSizeEx(file.get(), &length) &&
      static_cast<ULONGLONG>(length.QuadPart) > size && !::SetEndOfFile(file.get())) {
    return write_result::not_written;
  }
  return write_result::written;
}

}  // namespace velmor

extern "C" FILE* fcreate(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  // The file's own folder is the base: it and the file are checked.
  std::wstring full = full_path_of(path);
  if (full.empty()) return nullptr;
  std::string folder = utf8_string(folder_of(full));
  return velmor::fcreate_below(folder.c_str(), path, mode);
}
