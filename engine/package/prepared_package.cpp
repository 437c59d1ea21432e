// The last prepared package, process-wide. The user's folder only names it: what is installed is
// the protected copy the preparation wrote and signed, and that copy is removed after its
// installation, at the next preparation, or when the process ends; the first two off the caller's
// path (folder_retirement.h).
#include "engine/package/prepared_package.h"

#include <cstring>
#include <memory>
#include <string>

#include "engine/common/status.h"
#include "engine/common/utf8.h"
#include "engine/package/folder_retirement.h"
#include "win/bounded_path.h"
#include "win/full_path.h"
#include "win/handles.h"
#include "win/lock.h"

namespace velmor::prepare {
namespace {

struct package {
  std::unique_ptr<protected_folder> folder = std::make_unique<protected_folder>();
  std::wstring user_folder;  // full path; empty until the preparation succeeded
  std::string inf_name;
};

// Removed at process exit too, silently.
struct package_slot {
  std::unique_ptr<package> p;
  ~package_slot() {
    if (p && p->folder) p->folder->quiet();
  }
  package* operator->() const { return p.get(); }
  explicit operator bool() const { return static_cast<bool>(p); }
  void reset() { p.reset(); }
  // The folder goes on a thread of its own once `process` (null: none) has ended.
  void retire(HANDLE process, DWORD wait_ms) {
    if (p) retire_folder(std::move(p->folder), process, wait_ms);
    p.reset();
  }
};

critical_section package_lock;
package_slot current;

// The full path of a UTF-8 folder without a trailing separator, for comparing; empty on failure.
std::wstring full_folder(const char* path) {
  unique_malloc<wchar_t> wide(utf8_to_utf16(path != nullptr ? path : ""));
  if (!wide || wide.get()[0] == L'\0') return std::wstring();
  std::wstring result = full_path(wide.get());
  if (result.empty() || result.size() >= MAX_PATH) return std::wstring();
  while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
  return result;
}

}  // namespace

int begin_package(protected_folder** folder) {
  critical_section_lock hold(package_lock);
  current.retire(nullptr, 0);
  auto fresh = std::make_unique<package>();
  int status = fresh->folder->create("wdi_prepare_driver");
  if (status != WDI_ST_OK) return status;
  current.p = std::move(fresh);
  *folder = current->folder.get();
  return WDI_ST_OK;
}

void complete_package(const char* user_folder, const char* inf_name) {
  critical_section_lock hold(package_lock);
  if (!current) return;
  current->folder->close_files();
  current->user_folder = full_folder(user_folder);
  current->inf_name = inf_name;
}

void drop_package() {
  critical_section_lock hold(package_lock);
  current.retire(nullptr, 0);
}

bool prepared_folder(const char* user_folder, const char* inf_name, char (&folder)[MAX_PATH]) {
  critical_section_lock hold(package_lock);
  if (!current || current->user_folder.empty() || inf_name == nullptr) return false;
  std::wstring asked = full_folder(user_folder);
  if (asked.empty() || _wcsicmp(asked.c_str(), current->user_folder.c_str()) != 0 ||
      std::strcmp(inf_name, current->inf_name.c_str()) != 0) {
    return false;
  }
  path_copy(folder, current->folder->path().c_str());
  return true;
}

void release_prepared_folder(const char* folder, HANDLE installer, DWORD wait_ms) {
  critical_section_lock hold(package_lock);
  if (current && folder != nullptr && current->folder->path() == folder) current.retire(installer, wait_ms);
}

}  // namespace velmor::prepare
