// The driver store as the tool sees it: the published copies of its INFs in the system's INF
// folder (Windows names them oem<n>.inf; Wine keeps their own names), told apart from everyone
// else's by their original name, provider and catalog.
#include "engine/store/driver_store.h"

#include <setupapi.h>

#include <cwchar>
#include <vector>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/install/native_removal.h"
#include "win/driver_removal.h"
#include "win/handles.h"
#include "win/system_module.h"
#include "win/imports.h"
#include "win/utf8.h"

namespace {

namespace imports = velmor::imports;

const wchar_t kProvider[] = L"" WDI_DRIVER_PROVIDER;

// "<windows>\inf\<name>", or false when it would not fit. The system's folder, not a per-user one
// that GetWindowsDirectory gives in some terminal-server sessions.
bool inf_path(const wchar_t* name, wchar_t (&path)[MAX_PATH]) {
  UINT n = ::GetSystemWindowsDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  int written = std::swprintf(path + n, MAX_PATH - n, L"\\inf\\%ls", name);
  return written > 0 && static_cast<UINT>(written) < MAX_PATH - n;
}

bool version_entry(HINF inf, const wchar_t* key, wchar_t (&value)[MAX_PATH]) {
  auto get_line = imports::SetupGetLineTextW();
  value[0] = L'\0';
  if (get_line == nullptr || !get_line(nullptr, inf, L"Version", key, value, MAX_PATH, nullptr)) return false;
  value[MAX_PATH - 1] = L'\0';
  return true;
}

// The name the INF had before the system copied it; its own name where the system cannot say
// (Wine answers with the copy's name).
void original_name(const wchar_t* path, const wchar_t* own_name, wchar_t (&name)[MAX_PATH]) {
  std::swprintf(name, MAX_PATH, L"%ls", own_name);
  auto get_info = imports::SetupGetInfInformationW();
  auto query = imports::SetupQueryInfOriginalFileInformationW();
  if (get_info == nullptr || query == nullptr) return;
  DWORD size = 0;
  if (!get_info(path, INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &size) || size == 0) return;
  std::vector<BYTE> block(size);
  auto* info = reinterpret_cast<PSP_INF_INFORMATION>(block.data());
  if (!get_info(path, INFINFO_INF_NAME_IS_ABSOLUTE, info, size, nullptr)) return;
  SP_ORIGINAL_FILE_INFO_W original = {};
  original.cbSize = sizeof(original);
  if (!query(info, 0, nullptr, &original)) return;
  original.OriginalInfName[MAX_PATH - 1] = L'\0';
  const wchar_t* file = original.OriginalInfName;
  for (const wchar_t* c = file; *c != L'\0'; ++c) {
    if (*c == L'\\' || *c == L'/' || *c == L':') file = c + 1;
  }
  if (*file != L'\0') std::swprintf(name, MAX_PATH, L"%ls", file);
}

void log_removal(int level, const char* line) { engine_log(level, "wdi_remove_store_package", "%s", line); }

bool is_ours(const wchar_t* path, const wchar_t* own_name, const wchar_t* inf_name, const wchar_t* cat_name) {
  auto open = imports::SetupOpenInfFileW();
  if (open == nullptr) return false;
  velmor::unique_inf inf(open(path, nullptr, INF_STYLE_WIN4, nullptr));
  if (!inf) return false;
  wchar_t provider[MAX_PATH], catalog[MAX_PATH], original[MAX_PATH];
  if (!version_entry(inf.get(), L"Provider", provider) || _wcsicmp(provider, kProvider) != 0) return false;
  if (!version_entry(inf.get(), L"CatalogFile", catalog) || _wcsicmp(catalog, cat_name) != 0) return false;
  // Where the system cannot tell the original name, the provider and the catalog named after our
  // INF decide.
  original_name(path, own_name, original);
  return _wcsicmp(original, inf_name) == 0 || _wcsicmp(original, own_name) == 0;
}

// Windows publishes as oem<n>.inf; Wine under the INF's own name. Nothing else is opened.
bool may_be_published_copy(const wchar_t* name, const wchar_t* inf_name) {
  return _wcsnicmp(name, L"oem", 3) == 0 || _wcsicmp(name, inf_name) == 0;
}

}  // namespace

extern "C" int wdi_find_store_packages(const char* inf_name, struct wdi_store_package* packages, int capacity) {
  if (inf_name == nullptr || (packages == nullptr && capacity > 0)) return WDI_ST_BAD_PARAMETER;
  velmor::unique_malloc<wchar_t> wide(velmor::to_utf16(inf_name));
  if (!wide) return WDI_ST_NO_RESOURCE;
  size_t length = std::wcslen(wide.get());
  if (length < 5 || length >= MAX_PATH || _wcsicmp(wide.get() + length - 4, L".inf") != 0) return WDI_ST_BAD_PARAMETER;
  wchar_t cat_name[MAX_PATH];
  std::swprintf(cat_name, MAX_PATH, L"%.*ls.cat", static_cast<int>(length - 4), wide.get());

  wchar_t pattern[MAX_PATH];
  if (!inf_path(L"*.inf", pattern)) return WDI_ST_OVERRUN;
  WIN32_FIND_DATAW found = {};
  velmor::unique_find search(::FindFirstFileW(pattern, &found));
  if (!search) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return 0;
    wdi_err("cannot read the INF folder: %s", windows_error_text(0));
    return velmor::driver_store_status_of(::GetLastError());
  }
  int count = 0;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    found.cFileName[MAX_PATH - 1] = L'\0';
    if (!may_be_published_copy(found.cFileName, wide.get())) continue;
    wchar_t path[MAX_PATH];
    if (!inf_path(found.cFileName, path) || !is_ours(path, found.cFileName, wide.get(), cat_name)) continue;
    if (count < capacity) {
      // A name that does not fit would name another file: such a package is not listed.
      if (::WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, packages[count].published_name, MAX_PATH, nullptr,
                                nullptr) == 0) {
        packages[count].published_name[0] = '\0';
        continue;
      }
    }
    ++count;
  } while (::FindNextFileW(search.get(), &found));
  return count;
}

extern "C" int wdi_remove_store_package(const struct wdi_store_package* package, int* restart_needed) {
  if (restart_needed != nullptr) *restart_needed = 0;
  if (package == nullptr || package->published_name[0] == '\0') return WDI_ST_BAD_PARAMETER;
  // A 32-bit process on 64-bit Windows may remove the package but not its devices (ERROR_IN_WOW64):
  // the installer program of the machine's bitness does it all.
  velmor::removal_outcome outcome;
  if (!velmor::running_under_wow64()) outcome = velmor::remove_published_package(package->published_name, log_removal);
  if (velmor::running_under_wow64() || outcome.in_wow64) {
    outcome = {};
    outcome.status = remove_package_natively(package->published_name, &outcome.restart);
  }
  if (restart_needed != nullptr) *restart_needed = outcome.restart ? 1 : 0;
  return outcome.status;
}
