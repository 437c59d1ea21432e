// get_sid, check_dir, fcreate: what the engine creates on disk belongs to the current user.
#include "engine/payload/security.h"

#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/common/utf8.h"
#include "win/bounded_path.h"
#include "win/handles.h"

using velmor::unique_handle;
using velmor::unique_hlocal;
using velmor::unique_malloc;

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

// Security attributes naming the current user as owner (no DACL: the default access applies).
// When they cannot be built the object is created with the system default instead.
class owner_only_security {
 public:
  explicit owner_only_security(const char* caller) : sid_(get_sid()) {
    if (sid_ && ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
        ::SetSecurityDescriptorOwner(&descriptor_, sid_.get(), FALSE)) {
      attributes_.nLength = sizeof(attributes_);
      attributes_.lpSecurityDescriptor = &descriptor_;
      attributes_.bInheritHandle = FALSE;
      valid_ = true;
    } else {
      engine_log(LOG_ERROR, caller, "could not set security descriptor: %s", windows_error_text(0));
    }
  }
  owner_only_security(const owner_only_security&) = delete;
  owner_only_security& operator=(const owner_only_security&) = delete;

  SECURITY_ATTRIBUTES* get() { return valid_ ? &attributes_ : nullptr; }

 private:
  unique_hlocal sid_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool valid_ = false;
};

}  // namespace

extern "C" int check_dir(const char* path) {
  if (path == nullptr) return WDI_ST_BAD_PARAMETER;
  DWORD attributes = file_attributes_utf8(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return WDI_ST_OK;
    wdi_err("%s is a file, not a directory", path);
    return WDI_ST_DENIED;
  }
  DWORD error = ::GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    wdi_err("unable to read file attributes %s", windows_error_text(error));
    return WDI_ST_DENIED;
  }

  int rc = ERROR_SUCCESS;
  {
    owner_only_security security("check_dir");
    rc = create_directory_utf8(path, security.get());
    if (rc == ERROR_BAD_PATHNAME) {
      // The shell refuses relative paths: make it absolute under the current directory.
      unique_malloc<char> full(static_cast<char*>(std::malloc(MAX_PATH)));
      if (!full) {
        wdi_err("could not allocate buffer to convert relative path");
        return WDI_ST_NO_RESOURCE;
      }
      full.get()[0] = '\0';
      if (current_directory_utf8(full.get()) == 0) full.get()[0] = '\0';
      // A cut path would create some other directory and report it as this one.
      if (std::strlen(full.get()) + 1 + std::strlen(path) > MAX_PATH - 1) {
        wdi_err("directory name is too long %s", path);
        return WDI_ST_BAD_PARAMETER;
      }
      velmor::path_append(full.get(), MAX_PATH, "\\");
      velmor::path_append(full.get(), MAX_PATH, path);
      rc = create_directory_utf8(full.get(), security.get());
    }
  }  // the SID is released here
  if (rc == ERROR_SUCCESS) return WDI_ST_OK;
  if (rc == ERROR_FILENAME_EXCED_RANGE) {
    wdi_err("directory name is too long %s", path);
    return WDI_ST_BAD_PARAMETER;
  }
  wdi_err("unable to create directory %s (%s)", path, windows_error_text(static_cast<uint32_t>(rc)));
  return WDI_ST_DENIED;
}

extern "C" FILE* fcreate(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  DWORD access = 0;
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c == 'r') access |= GENERIC_READ;
    if (*c == 'w') access |= GENERIC_WRITE;
  }
  if ((access & GENERIC_WRITE) == 0) return nullptr;

  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  {
    owner_only_security security("fcreate");
    unique_malloc<wchar_t> wide_path(utf8_to_utf16(path));
    handle = ::CreateFileW(wide_path.get(), access, FILE_SHARE_READ, security.get(), CREATE_ALWAYS, 0, nullptr);
    error = ::GetLastError();
  }  // the converted path and the SID are released here
  if (handle == INVALID_HANDLE_VALUE) {
    ::SetLastError(error);
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
