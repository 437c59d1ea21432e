// Kept package sources (kept_source.h). A replacement is three steps, each of which a kill can cut
// short: the new copy is written and flushed under "<kind>.new", the old copy is renamed to
// "<kind>.old", the new one to "<kind>"; then the old one goes. Whatever step a run died at, one
// complete copy is there, and mend names it "<kind>" again: "<kind>.old" exists only once the new
// copy is complete, so with "<kind>" missing the new copy (else the old one) becomes the source.
// The folder of all sources is only the administrators' and the system account's, so nothing in it
// can be swapped under these steps.
#include "engine/package/kept_source.h"

#include <aclapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/common/error_text.h"
#include "engine/common/folder_contents.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/common/windows_version.h"
#include "engine/payload/protected_folder.h"
#include "engine/payload/security.h"
#include "win/bounded_path.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/utf8.h"

namespace velmor::kept_source {
namespace {

constexpr char kKeeping[] = "install_driver_internal";
constexpr char kForgetting[] = "wdi_forget_package_source";
const wchar_t kSourcesFolder[] = L"Velmor driver sources";
// Room inside a kept source for the package's deepest file ("license\libusb0\..."), so that every
// path the installer and Windows form there stays a path.
constexpr size_t kDeepestInside = 48;

bool is_folder(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The kind's folder name: the INF name without ".inf"; empty for anything but a bare INF name.
std::wstring kind_of(const char* inf_name) {
  if (inf_name == nullptr) return std::wstring();
  size_t length = std::strlen(inf_name);
  if (length <= 4 || length > 64 || std::strcmp(inf_name + length - 4, ".inf") != 0 || inf_name[0] == '.' ||
      std::strpbrk(inf_name, "\\/:*?\"<>|") != nullptr) {
    return std::wstring();
  }
  return utf16_string(std::string(inf_name, length - 4).c_str());
}

// Everything below and the folder itself, never following a link (one is removed as a link).
bool remove_tree(const std::wstring& folder) {
  remove_folder_contents(folder);
  return ::RemoveDirectoryW(folder.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND ||
         ::GetLastError() == ERROR_PATH_NOT_FOUND;
}

// An owner only the administrators or the system account can give a folder. Before Vista this
// process's user is one too: there every process of an administrator runs with all its rights, while
// later a process of the same user without them could have made the folder.
bool trusted_owner(const std::wstring& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  unique_hlocal keep_descriptor(descriptor);
  if (owner == nullptr) return false;
  if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid)) return true;
  if (windows_version_code == -1) detect_windows_version();
  unique_hlocal user(get_sid());
  return windows_version_code >= 0 && windows_version_code < 0x60 && user && ::EqualSid(owner, user.get());
}

// The folder of all kept sources, held from the volume root down while this run works in it.
class sources {
 public:
  // Made (protected, like the preparation's folders) when `create` and missing. False after a
  // warning under `caller`, or quietly when it is missing and not to be made.
  bool open(bool create, const char* caller) {
    wchar_t data[MAX_PATH] = {};
    auto folder_path = imports::SHGetFolderPathW();
    if (folder_path == nullptr ||
        FAILED(folder_path(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data))) {
      engine_log(LOG_WARNING, caller, "the common application data folder cannot be found");
      return false;
    }
    path_ = std::wstring(data) + L"\\" + kSourcesFolder;
    if (folders_.hold(data, false, caller) != WDI_ST_OK) return false;
    if (!is_folder(path_)) {
      if (!create) return false;
      protected_folder made;
      if (made.create_at(path_, caller) != WDI_ST_OK) return false;
      made.keep();
    }
    if (folders_.hold(path_, false, caller) != WDI_ST_OK) return false;
    if (!trusted_owner(path_)) {
      engine_log(LOG_WARNING, caller, "'%s' was made by an account that is no administrator: not using it",
                 utf8_string(path_).c_str());
      return false;
    }
    return true;
  }
  const std::wstring& path() const { return path_; }
  // Lets the folder go (so that it can be removed).
  void close() { folders_ = package_folders(); }

 private:
  package_folders folders_;
  std::wstring path_;
};

struct kind_folders {
  kind_folders(const sources& all, const std::wstring& kind)
      : kept(all.path() + L"\\" + kind), staging(kept + L".new"), retired(kept + L".old") {}
  std::wstring kept, staging, retired;
};

void mend_in(const kind_folders& kind, const char* caller) {
  if (!is_folder(kind.kept)) {
    if (is_folder(kind.retired)) {
      const std::wstring& complete = is_folder(kind.staging) ? kind.staging : kind.retired;
      if (::MoveFileExW(complete.c_str(), kind.kept.c_str(), 0)) {
        engine_log(LOG_INFO, caller, "put the package source '%s' back in place after a run that did not finish",
                   utf8_string(kind.kept).c_str());
      } else {
        engine_log(LOG_WARNING, caller, "could not put the package source '%s' back in place: %s",
                   utf8_string(kind.kept).c_str(), windows_error_text(0));
        return;  // both copies stay for a later run
      }
    } else if (is_folder(kind.staging)) {
      remove_tree(kind.staging);  // a copy cut short, made when none was kept yet
    }
  }
  for (const std::wstring* left : {&kind.staging, &kind.retired}) {
    if (is_folder(*left) && !remove_tree(*left)) {
      engine_log(LOG_WARNING, caller, "could not remove '%s': %s", utf8_string(*left).c_str(), windows_error_text(0));
    }
  }
}

// The files below `from`, written into `to` at the same places. False after an error line.
bool copy_into(const std::wstring& from, const std::string& relative, protected_folder& to) {
  WIN32_FIND_DATAW entry;
  std::wstring base = relative.empty() ? from : from + L"\\" + utf16_string(relative.c_str());
  unique_find find(::FindFirstFileW((base + L"\\*").c_str(), &entry));
  if (!find) return false;
  do {
    if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // the engine makes none
    std::string name = relative.empty() ? utf8_string(entry.cFileName) : relative + "\\" + utf8_string(entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (to.make_folder(name.c_str(), kKeeping) != WDI_ST_OK || !copy_into(from, name, to)) return false;
      continue;
    }
    unique_file source(::CreateFileW((base + L"\\" + entry.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LARGE_INTEGER size = {};
    if (!source || !::GetFileSizeEx(source.get(), &size) || size.HighPart != 0) return false;
    std::vector<char> bytes(size.LowPart);
    DWORD got = 0;
    if (!bytes.empty() && (!::ReadFile(source.get(), bytes.data(), size.LowPart, &got, nullptr) || got != size.LowPart))
      return false;
    if (to.write_file(name.c_str(), bytes.data(), bytes.size(), kKeeping) != WDI_ST_OK) return false;
  } while (::FindNextFileW(find.get(), &entry));
  return true;
}

}  // namespace

void mend(const char* inf_name) {
  std::wstring kind = kind_of(inf_name);
  sources all;
  if (kind.empty() || !all.open(false, kKeeping)) return;
  mend_in(kind_folders(all, kind), kKeeping);
}

bool keep(const char* prepared, const char* inf_name, char (&folder)[MAX_PATH]) {
  std::wstring kind = kind_of(inf_name);
  if (kind.empty() || prepared == nullptr) return false;
  sources all;
  if (!all.open(true, kKeeping)) {
    engine_log(LOG_WARNING, kKeeping, "the package source cannot be kept: Windows will ask for it again");
    return false;
  }
  kind_folders place(all, kind);
  std::string kept = utf8_string(place.kept);
  if (kept.size() + kDeepestInside >= MAX_PATH) {
    engine_log(LOG_WARNING, kKeeping, "'%s' is too long to keep the package source in", kept.c_str());
    return false;
  }
  mend_in(place, kKeeping);

  protected_folder staging;
  if (staging.create_at(place.staging, kKeeping) != WDI_ST_OK) {
    engine_log(LOG_WARNING, kKeeping, "the package source cannot be kept: Windows will ask for it again");
    return false;
  }
  if (!copy_into(utf16_string(prepared), std::string(), staging) || !staging.keep()) {
    engine_log(LOG_WARNING, kKeeping, "could not copy the package to '%s': %s", utf8_string(place.staging).c_str(),
               windows_error_text(0));
    staging.keep();
    remove_tree(place.staging);
    return false;
  }
  const bool replacing = is_folder(place.kept);
  if (replacing && !::MoveFileExW(place.kept.c_str(), place.retired.c_str(), 0)) {
    // Still in use (an installer of the last installation ending): the old source stays.
    engine_log(LOG_WARNING, kKeeping, "could not replace the package source '%s': %s", kept.c_str(),
               windows_error_text(0));
    remove_tree(place.staging);
    return false;
  }
  if (!::MoveFileExW(place.staging.c_str(), place.kept.c_str(), 0)) {
    engine_log(LOG_WARNING, kKeeping, "could not keep the package source '%s': %s", kept.c_str(), windows_error_text(0));
    mend_in(place, kKeeping);
    return false;
  }
  if (replacing && !remove_tree(place.retired)) {
    engine_log(LOG_WARNING, kKeeping, "could not remove '%s' (the next run does): %s",
               utf8_string(place.retired).c_str(),
               windows_error_text(0));
  }
  path_copy(folder, kept.c_str());
  engine_log(LOG_INFO, kKeeping, "installing from '%s', kept as the package's source", kept.c_str());
  return true;
}

}  // namespace velmor::kept_source

extern "C" int wdi_forget_package_source(const char* inf_name) {
  using namespace velmor::kept_source;
  std::wstring kind = kind_of(inf_name);
  if (kind.empty()) {
    engine_log(LOG_WARNING, kForgetting, "'%s' is no INF name", inf_name != nullptr ? inf_name : "<NULL>");
    return WDI_ST_BAD_PARAMETER;
  }
  sources all;
  // None kept here (or in a folder of all sources that another account made, said in a warning).
  if (!all.open(false, kForgetting)) return WDI_ST_OK;
  kind_folders place(all, kind);
  mend_in(place, kForgetting);
  int status = WDI_ST_OK;
  if (is_folder(place.kept)) {
    std::string kept = velmor::utf8_string(place.kept);
    if (remove_tree(place.kept)) {
      engine_log(LOG_INFO, kForgetting, "removed the package source '%s'", kept.c_str());
    } else {
      engine_log(LOG_WARNING, kForgetting, "could not remove the package source '%s': %s", kept.c_str(),
                 windows_error_text(0));
      status = WDI_ST_DENIED;
    }
  }
  // The folder of all sources goes with the last of them (a folder with something left stays).
  std::wstring everything = all.path();
  all.close();
  ::RemoveDirectoryW(everything.c_str());
  return status;
}
