// The folder a preparation works in. The user's package folder lies in the profile, where the user
// (and the user's programs) can change any file at any time; whatever is run, hashed, signed or
// installed elevated is instead written here: a new folder of a random name in the Windows
// folder's Temp (its parent cannot be replaced by a user), created by the engine itself with a
// protected DACL that admits only administrators and the system account. What lies inside was
// written by the engine or by another administrator.
#include "engine/payload/protected_folder.h"

#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/common/utf8.h"
#include "engine/payload/security.h"
#include "win/handles.h"
#include "win/lock.h"
#include "win/open_in_folder.h"
#include "win/random.h"
#include "win/utf8.h"

namespace velmor {
namespace {

// Full access for administrators and the system account, inherited by everything inside.
const wchar_t kFolderDacl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
constexpr int kNameAttempts = 4;
// Removal: passes over what is still in use, and the pause between them.
constexpr int kRemoveAttempts = 20;
constexpr DWORD kRemovePauseMs = 25;

// A file or folder removed by an earlier pass, or with the folder that held it.
bool gone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool random_hex(wchar_t (&out)[33]) {
  BYTE bytes[16];
  if (!random_bytes(bytes, sizeof(bytes))) return false;
  for (int i = 0; i < 16; i++) std::swprintf(out + 2 * i, 3, L"%02x", bytes[i]);
  return true;
}

// Created new (an existing name fails) with the folder's DACL, then held without delete sharing, so
// that it can be neither renamed nor removed while the engine works in it; false with the error
// kept, and a folder that could not be held removed again.
bool create_new_folder(const std::wstring& path, SECURITY_ATTRIBUTES* security, unique_file* held) {
  if (!::CreateDirectoryW(path.c_str(), security)) return false;
  *held = open_pinned(path);
  if (*held) return true;
  preserve_last_error keep;
  ::RemoveDirectoryW(path.c_str());
  return false;
}

// The folder's security descriptor, made once per creation.
bool folder_security(unique_hlocal* owner, SECURITY_ATTRIBUTES* security, const char* caller) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderDacl, SDDL_REVISION_1, &descriptor, nullptr)) {
    engine_log(LOG_ERROR, caller, "could not set security descriptor: %s", windows_error_text(0));
    return false;
  }
  owner->reset(descriptor);
  *security = {sizeof(*security), descriptor, FALSE};
  return true;
}

// The Windows folder's Temp as the file system spells it. Wine looks a name up by its exact case
// first and reads the whole parent folder for any other spelling, for every file below it. Only
// administrators can rename it, so the spelling found is kept for the process.
std::wstring temp_of_windows(const wchar_t* windows) {
  static critical_section lock;
  static std::wstring found_base;
  critical_section_lock hold(lock);
  std::wstring base(windows);
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  if (!found_base.empty() && _wcsnicmp(found_base.c_str(), base.c_str(), base.size()) == 0) return found_base;
  WIN32_FIND_DATAW found;
  unique_find find(::FindFirstFileW((base + L"Temp").c_str(), &found));
  if (!find || _wcsicmp(found.cFileName, L"Temp") != 0) return base + L"Temp";  // made when first used
  found_base = base + found.cFileName;
  return found_base;
}

}  // namespace

int protected_folder::create_at(const std::wstring& path, const char* caller) {
  remove();
  unique_hlocal descriptor;
  SECURITY_ATTRIBUTES security;
  if (!folder_security(&descriptor, &security, caller)) return WDI_ST_NO_RESOURCE;
  unique_file held;
  if (!create_new_folder(path, &security, &held)) {
    engine_log(LOG_ERROR, caller, "unable to create directory %s (%s)", utf8_string(path).c_str(),
               windows_error_text(0));
    return WDI_ST_DENIED;
  }
  wide_ = path;
  path_ = utf8_string(path);
  held_folders_.push_back(std::move(held));
  return WDI_ST_OK;
}

bool protected_folder::keep() {
  bool flushed = true;
  for (auto& f : files_) flushed = (!f.second || ::FlushFileBuffers(f.second.get())) && flushed;
  files_.clear();
  held_folders_.clear();
  folders_.clear();
  wide_.clear();
  path_.clear();
  return flushed;
}

int protected_folder::create(const char* caller) {
  remove();
  wchar_t windows[MAX_PATH];
  UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    engine_log(LOG_ERROR, caller, "unable to find the Windows folder: %s", windows_error_text(0));
    return WDI_ST_NO_RESOURCE;
  }
  unique_hlocal descriptor_owner;
  SECURITY_ATTRIBUTES security;
  if (!folder_security(&descriptor_owner, &security, caller)) return WDI_ST_NO_RESOURCE;

  const std::wstring base = temp_of_windows(windows);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    wchar_t random[33];
    if (!random_hex(random)) {
      engine_log(LOG_ERROR, caller, "unable to make a folder name: %s", windows_error_text(0));
      return WDI_ST_NO_RESOURCE;
    }
    std::wstring path = base + L"\\Velmor-" + random;
    unique_file held;
    if (create_new_folder(path, &security, &held)) {
      wide_ = path;
      path_ = utf8_string(path);
      held_folders_.push_back(std::move(held));
      return WDI_ST_OK;
    }
    DWORD error = ::GetLastError();
    // A name taken is somebody else's folder: never used, another name is drawn.
    if (error == ERROR_ALREADY_EXISTS) continue;
    engine_log(LOG_ERROR, caller, "unable to create directory %s (%s)", utf8_string(path).c_str(),
               windows_error_text(error));
    if (error == ERROR_PATH_NOT_FOUND) {
      // No Temp in the Windows folder: made with the same protection, and left for the system.
      if (::CreateDirectoryW(base.c_str(), &security) || ::GetLastError() == ERROR_ALREADY_EXISTS) continue;
    }
    return WDI_ST_DENIED;
  }
  engine_log(LOG_ERROR, caller, "unable to create a protected folder in %s", utf8_string(base).c_str());
  return WDI_ST_DENIED;
}

int protected_folder::make_folder(const char* relative, const char* caller) {
  std::wstring wide = utf16_string(relative);
  size_t position = 0;
  while (position <= wide.size()) {
    size_t end = wide.find(L'\\', position);
    if (end == std::wstring::npos) end = wide.size();
    std::wstring part = wide.substr(0, end);
    position = end + 1;
    bool known = false;
    for (const std::wstring& f : folders_) known = known || _wcsicmp(f.c_str(), part.c_str()) == 0;
    if (known || part.empty() || part == L".") continue;
    // Made new inside its held parent and held in the same call. The folder's DACL is inherited:
    // nothing of the user's can be inside.
    size_t slash = part.find_last_of(L'\\');
    HANDLE parent = folder_handle(slash == std::wstring::npos ? std::wstring() : part.substr(0, slash));
    unique_file held = open_in_folder(parent, part.c_str() + (slash == std::wstring::npos ? 0 : slash + 1),
                                      object_kind::folder, FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW, nullptr, nullptr);
    if (!held) {
      DWORD error = ::GetLastError();
      engine_log(LOG_ERROR, caller, "unable to create directory %s (%s)", utf8_string(wide_ + L"\\" + part).c_str(),
                 windows_error_text(error));
      return WDI_ST_DENIED;
    }
    folders_.push_back(part);
    held_folders_.push_back(std::move(held));
  }
  return WDI_ST_OK;
}

HANDLE protected_folder::folder_handle(const std::wstring& relative) const {
  if (held_folders_.empty()) return nullptr;
  if (relative.empty()) return held_folders_.front().get();
  for (size_t i = 0; i < folders_.size() && i + 1 < held_folders_.size(); ++i) {
    if (_wcsicmp(folders_[i].c_str(), relative.c_str()) == 0) return held_folders_[i + 1].get();
  }
  return nullptr;
}

int protected_folder::write_file(const char* relative, const void* data, size_t size, const char* caller) {
  const std::wstring wide_relative = utf16_string(relative);
  std::wstring path = wide_ + L"\\" + wide_relative;
  // Inside its held folder where the engine made that folder; else by the full path.
  size_t slash = wide_relative.find_last_of(L'\\');
  HANDLE parent = folder_handle(slash == std::wstring::npos ? std::wstring() : wide_relative.substr(0, slash));
  unique_file file =
      parent != nullptr
          ? open_in_folder(parent, wide_relative.c_str() + (slash == std::wstring::npos ? 0 : slash + 1),
                           object_kind::file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, nullptr, nullptr)
          : unique_file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DWORD error = ::GetLastError();
    engine_log(LOG_ERROR, caller, "failed to create file '%s' (%s)", utf8_string(path).c_str(),
               windows_error_text(error));
    return WDI_ST_NO_RESOURCE;
  }
  DWORD written = 0;
  bool complete = ::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
  files_.emplace_back(relative, std::move(file));
  if (!complete) {
    engine_log(LOG_ERROR, caller, "failed to write file '%s'", utf8_string(path).c_str());
    return WDI_ST_IO_FAILURE;
  }
  return WDI_ST_OK;
}

void protected_folder::adopt_file(const char* relative) { files_.emplace_back(relative, unique_file()); }

HANDLE protected_folder::file(const char* relative) const {
  for (const auto& f : files_)
    if (_stricmp(f.first.c_str(), relative) == 0 && f.second) return f.second.get();
  return nullptr;
}

std::string protected_folder::full(const char* relative) const { return path_ + "\\" + relative; }

void protected_folder::close_files() {
  for (auto& f : files_) f.second.reset();
}

void protected_folder::remove() {
  if (!created()) return;
  close_files();
  held_folders_.clear();
  // A program that ran from the folder has ended, but the system may release its image and its
  // current directory a moment later: what is still in use is tried again for a while.
  for (int attempt = 1;; ++attempt) {
    bool last = attempt == kRemoveAttempts;
    if (remove_contents(last) || last) break;
    ::Sleep(kRemovePauseMs);
  }
  files_.clear();
  folders_.clear();
  wide_.clear();
  path_.clear();
}

// One pass over what the engine made, the folder last; true when all of it is gone, or when what is
// left is not the engine's (another pass cannot help). Failures are logged on the last pass only.
bool protected_folder::remove_contents(bool log_failures) {
  bool all_gone = true;
  for (const auto& f : files_) {
    std::wstring path = wide_ + L"\\" + utf16_string(f.first.c_str());
    if (::DeleteFileW(path.c_str()) || gone(::GetLastError())) continue;
    all_gone = false;
    if (log_failures && !quiet_) {
      engine_log(LOG_WARNING, "wdi_prepare_driver", "could not delete '%s': %s", utf8_string(path).c_str(),
                 windows_error_text(0));
    }
  }
  for (auto f = folders_.rbegin(); f != folders_.rend(); ++f) ::RemoveDirectoryW((wide_ + L"\\" + *f).c_str());
  // With the folder gone, so is everything that was in it.
  if (::RemoveDirectoryW(wide_.c_str()) || gone(::GetLastError())) return true;
  bool foreign = all_gone && ::GetLastError() == ERROR_DIR_NOT_EMPTY;
  if ((log_failures || foreign) && !quiet_) {
    engine_log(LOG_WARNING, "wdi_prepare_driver", "could not remove '%s': %s", path_.c_str(), windows_error_text(0));
  }
  return foreign;
}

}  // namespace velmor
