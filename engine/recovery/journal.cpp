#include "engine/recovery/journal.h"

#include <sddl.h>

#include <cwchar>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "win/handles.h"

extern "C" {
const wchar_t* journal_key_for_tests = nullptr;
}

namespace velmor {
namespace journal {

const wchar_t kKeyContainers[] = L"Key containers";
const wchar_t kCertificates[] = L"Certificates";
const wchar_t kRestoreSetting[] = L"Restore setting";

namespace {

const wchar_t kJournalKey[] = L"SOFTWARE\\Velmor\\Driver installer journal";
const wchar_t kBeganValue[] = L"Began";
// Administrators and the system account; nothing inherited from above. HKLM\SOFTWARE already
// admits no one else to create keys, this keeps it so should a parent be loosened later.
const wchar_t kKeyDacl[] = L"D:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)";

const wchar_t* journal_key() { return journal_key_for_tests != nullptr ? journal_key_for_tests : kJournalKey; }

// The section's key, created (with the protected DACL on every key made here) when `create`.
unique_hkey open_section(const wchar_t* section, bool create) {
  std::wstring path = journal_key();
  if (section != nullptr) path += std::wstring(L"\\") + section;
  unique_hkey key;
  if (!create) {
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
      key.reset();
    return key;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kKeyDacl, SDDL_REVISION_1, &descriptor, nullptr))
    return key;
  unique_hlocal descriptor_owner(descriptor);
  SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
  LONG r = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_SET_VALUE, &security,
                             key.put(), nullptr);
  if (r != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(r));
    key.reset();
  }
  return key;
}

}  // namespace

bool add(const wchar_t* section, const wchar_t* name, const wchar_t* data, const char* caller) {
  FILETIME unused;
  began(&unused);  // the first record also marks when recording began
  unique_hkey key = open_section(section, true);
  LONG r = key ? ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                  static_cast<DWORD>((std::wcslen(data) + 1) * sizeof(wchar_t)))
               : static_cast<LONG>(::GetLastError());
  if (r != ERROR_SUCCESS) {
    engine_log(LOG_WARNING, caller, "could not record a change for recovery: %s", windows_error_text(static_cast<DWORD>(r)));
    return false;
  }
  // A power cut right after the change must still find its record.
  ::RegFlushKey(key.get());
  return true;
}

void remove(const wchar_t* section, const wchar_t* name) {
  unique_hkey key = open_section(section, false);
  if (!key) return;
  ::RegDeleteValueW(key.get(), name);
  ::RegFlushKey(key.get());
}

std::vector<std::pair<std::wstring, std::wstring>> list(const wchar_t* section) {
  std::vector<std::pair<std::wstring, std::wstring>> found;
  unique_hkey key = open_section(section, false);
  if (!key) return found;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    wchar_t data[512];
    DWORD name_length = sizeof(name) / sizeof(name[0]);
    DWORD data_size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    LONG r = ::RegEnumValueW(key.get(), index, name, &name_length, nullptr, &type, reinterpret_cast<BYTE*>(data),
                             &data_size);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;  // nothing this engine wrote
    data[data_size / sizeof(wchar_t)] = L'\0';
    found.emplace_back(name, data);
  }
  return found;
}

bool began(FILETIME* when) {
  unique_hkey key = open_section(nullptr, false);
  DWORD type = 0;
  DWORD size = sizeof(*when);
  if (key && ::RegQueryValueExW(key.get(), kBeganValue, nullptr, &type, reinterpret_cast<BYTE*>(when), &size) ==
                 ERROR_SUCCESS &&
      type == REG_BINARY && size == sizeof(*when)) {
    return true;
  }
  key = open_section(nullptr, true);
  if (!key) return false;
  ::GetSystemTimeAsFileTime(when);
  if (::RegSetValueExW(key.get(), kBeganValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(when), sizeof(*when)) !=
      ERROR_SUCCESS) {
    return false;
  }
  ::RegFlushKey(key.get());
  return true;
}

}  // namespace journal
}  // namespace velmor
