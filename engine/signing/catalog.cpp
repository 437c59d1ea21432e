// Catalog creation: CreateCat, set_catalog_base_path, ScanDirAndHash, CalcHash, AddFileHash.
#include "engine/signing/catalog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/system.h"
#include "engine/common/utf8.h"
#include "engine/signing/key_container.h"
#include "win/handles.h"

using velmor::unique_file;
using velmor::unique_malloc;
namespace imports = velmor::imports;

extern "C" {
char catalog_base_path[MAX_PATH] = "";
}

namespace {

// Authenticated, value and name as text: what Windows expects of driver catalog attributes.
constexpr DWORD kAttrFlags = CRYPTCAT_ATTR_AUTHENTICATED | CRYPTCAT_ATTR_DATAASCII | CRYPTCAT_ATTR_NAMEASCII;
const wchar_t kOsList[] = L"XP_X86,XP_X64,Vista_X86,Vista_X64,7_X86,7_X64,8_X86,8_X64,8_ARM,10_X86,10_X64,10_ARM";
const wchar_t kOsAttr[] = L"2:5.1,2:5.2,2:6.0,2:6.1";
const wchar_t kObsolete[] = L"<<<Obsolete>>>";
const char kInfDataOid[] = "1.3.6.1.4.1.311.2.1.25";
const char kSha1Oid[] = "1.3.14.3.2.26";
GUID kPeSubject = {0xC689AAB8, 0x8E78, 0x11D0, {0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
GUID kInfSubject = {0xDE351A42, 0x8E59, 0x11D0, {0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

// Both sides of a member-name match are lowered the same way; only ASCII letters change, so UTF-8
// stays intact.
void ascii_lower(char* text) {
  for (; *text != '\0'; ++text)
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
}

DWORD text_size(const wchar_t* text) { return static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)); }

BYTE* text_bytes(const wchar_t* text) { return reinterpret_cast<BYTE*>(const_cast<wchar_t*>(text)); }

enum class file_kind { unhandled, pe, inf };

file_kind kind_of(const wchar_t* lower_name) {
  const wchar_t* dot = std::wcsrchr(lower_name, L'.');
  if (dot == nullptr || dot == lower_name) return file_kind::unhandled;
  const wchar_t* ext = dot + 1;
  if (std::wcscmp(ext, L"dll") == 0 || std::wcscmp(ext, L"sys") == 0 || std::wcscmp(ext, L"exe") == 0)
    return file_kind::pe;
  if (std::wcscmp(ext, L"inf") == 0) return file_kind::inf;
  return file_kind::unhandled;
}

}  // namespace

namespace {

// The catalog at cat_path with its two attributes; add_members puts the members in before it is
// written. TRUE on success.
template <typename AddMembers>
int create_catalog(const char* caller, const char* cat_path, const char* hw_id, AddMembers add_members) {
  auto cat_open = required_import<imports::CryptCATOpen>(caller);
  if (cat_open == nullptr) return FALSE;
  auto cat_close = required_import<imports::CryptCATClose>(caller);
  if (cat_close == nullptr) return FALSE;
  auto persist = required_import<imports::CryptCATPersistStore>(caller);
  if (persist == nullptr) return FALSE;
  if (required_import<imports::CryptCATStoreFromHandle>(caller) == nullptr) return FALSE;
  auto put_cat_attr = required_import<imports::CryptCATPutCatAttrInfo>(caller);
  if (put_cat_attr == nullptr) return FALSE;

  auto acquire = required_import<imports::CryptAcquireContextW>(caller);
  if (acquire == nullptr) return FALSE;
  velmor::unique_crypt_provider prov;
  if (!acquire(prov.put(), nullptr, VELMOR_SIGNING_PROVIDER, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    engine_log(LOG_WARNING, caller, "unable to acquire crypt context for cat creation");
    return FALSE;
  }

  unique_malloc<wchar_t> wpath(utf8_to_utf16(cat_path));
  unique_malloc<wchar_t> whwid(utf8_to_utf16(hw_id));
  if (!wpath || !whwid) return FALSE;
  ::CharLowerW(whwid.get());

  HANDLE cat = cat_open(wpath.get(), CRYPTCAT_OPEN_CREATENEW, prov.get(), 0, 0);
  if (cat == INVALID_HANDLE_VALUE || cat == nullptr) {
    engine_log(LOG_WARNING, caller, "unable to create file '%s': %s", cat_path, windows_error_text(0));
    return FALSE;
  }
  velmor::scope_exit close_cat([&] { cat_close(cat); });

  if (put_cat_attr(cat, const_cast<wchar_t*>(L"HWID1"), kAttrFlags, text_size(whwid.get()),
                   text_bytes(whwid.get())) == nullptr) {
    engine_log(LOG_WARNING, caller, "failed to set HWID1 cat attribute: %s", windows_error_text(0));
    return FALSE;
  }
  if (put_cat_attr(cat, const_cast<wchar_t*>(L"OS"), kAttrFlags, text_size(kOsList), text_bytes(kOsList)) ==
      nullptr) {
    engine_log(LOG_WARNING, caller, "failed to set OS cat attribute: %s", windows_error_text(0));
    return FALSE;
  }

  if (!add_members(cat)) return FALSE;

  if (!persist(cat)) {
    engine_log(LOG_WARNING, caller, "unable to sort file: %s", windows_error_text(0));
    return FALSE;
  }
  engine_log(LOG_INFO, caller, "successfully created file '%s'", cat_path);
  return TRUE;
}

// The catalog hash of an open file, read from its start.
bool hash_of_handle(HANDLE file, BYTE hash[20]) {
  auto calc = required_import<imports::CryptCATAdminCalcHashFromFileHandle>("CalcHash");
  if (calc == nullptr) return false;
  if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  DWORD size = 20;
  return calc(file, &size, hash, 0) != FALSE;
}

}  // namespace

extern "C" int CreateCat(const char* cat_path, const char* hw_id, const char* search_path, const char** file_list,
                         DWORD file_list_count) {
  return create_catalog(__func__, cat_path, hw_id, [&](HANDLE cat) {
    if (!set_catalog_base_path(search_path)) return false;
    // Lower-case copies of the member names; a name that cannot be copied stays null and matches nothing.
    const size_t slots = file_list_count > 0 ? file_list_count : 1;
    unique_malloc<char*> names(static_cast<char**>(std::calloc(slots, sizeof(char*))));
    if (!names) {
      engine_log(LOG_WARNING, "CreateCat", "unable allocate local file list");
      return false;
    }
    auto free_names = velmor::scope_exit([&] {
      for (DWORD i = 0; i < file_list_count; i++) std::free(names.get()[i]);
    });
    for (DWORD i = 0; i < file_list_count; i++) {
      const char* name = file_list != nullptr ? file_list[i] : nullptr;
      char* copy = name != nullptr ? _strdup(name) : nullptr;
      names.get()[i] = copy;
      if (copy == nullptr) {
        engine_log(LOG_WARNING, "CreateCat", "'%s' could not be duplicated and will be ignored",
                   name != nullptr ? name : "(null)");
        continue;
      }
      ascii_lower(copy);
    }
    ScanDirAndHash(cat, "", names.get(), file_list_count);
    return true;
  });
}

extern "C" int CreateCatOfFiles(const char* cat_path, const char* hw_id, const catalog_file* files, DWORD count) {
  return create_catalog(__func__, cat_path, hw_id, [&](HANDLE cat) {
    for (DWORD i = 0; i < count; i++) {
      unique_malloc<char> name(_strdup(files[i].name));
      if (!name) return false;
      ascii_lower(name.get());
      BYTE hash[20];
      if (hash_of_handle(files[i].handle, hash) && AddFileHash(cat, name.get(), hash)) {
        engine_log(LOG_INFO, "CreateCatOfFiles", "added hash for '%s'", files[i].path);
      } else {
        engine_log(LOG_WARNING, "CreateCatOfFiles", "could not add hash for '%s' - ignored", files[i].path);
      }
    }
    return true;
  });
}

extern "C" int set_catalog_base_path(const char* path) {
  if (path == nullptr) return FALSE;
  unique_malloc<char> copy(_strdup(path));
  if (!copy) return FALSE;
  for (char* p = copy.get(); *p != '\0'; ++p)
    if (*p == '/') *p = '\\';
  // The wide call: the 8-bit one would read the UTF-8 path, and write the current directory of a
  // relative one, in the ANSI code page.
  unique_malloc<wchar_t> wide(utf8_to_utf16(copy.get()));
  wchar_t full[MAX_PATH];
  DWORD size = wide ? ::GetFullPathNameW(wide.get(), MAX_PATH, full, nullptr) : 0;
  // A result of MAX_PATH or more is the size the full path would need: it did not fit.
  if (size == 0 || size >= MAX_PATH ||
      ::WideCharToMultiByte(CP_UTF8, 0, full, -1, catalog_base_path, MAX_PATH, nullptr, nullptr) == 0) {
    catalog_base_path[0] = '\0';
    fprintf(stderr, "Unable to get full path for '%s'.\n", path);
    return FALSE;
  }
  return TRUE;
}

extern "C" void ScanDirAndHash(HANDLE catalog, const char* relative_path, char** file_list, DWORD file_list_count) {
  if (relative_path == nullptr) relative_path = "";
  size_t base_len = std::strlen(catalog_base_path);
  size_t rel_len = std::strlen(relative_path);
  if (base_len + rel_len + 4 > MAX_PATH + 1) {
    wdi_warn("path overflow");
    return;
  }
  char pattern[MAX_PATH + 8];
  std::snprintf(pattern, sizeof(pattern), "%s%c%s\\*", catalog_base_path, '\\', relative_path);
  wchar_t wpattern[MAX_PATH];
  if (::MultiByteToWideChar(CP_UTF8, 0, pattern, -1, wpattern, MAX_PATH) == 0) return;

  WIN32_FIND_DATAW entry;
  velmor::unique_find search(::FindFirstFileW(wpattern, &entry));
  if (!search) return;

  do {
    char name[MAX_PATH];
    if (::WideCharToMultiByte(CP_UTF8, 0, entry.cFileName, -1, name, MAX_PATH, nullptr, nullptr) == 0) continue;

    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      // A link leads out of the folder, or back into it for ever.
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      if (rel_len + std::strlen(name) + 2 > MAX_PATH + 1) {
        wdi_warn("path overflow");
        break;
      }
      char sub[MAX_PATH + 8];
      std::snprintf(sub, sizeof(sub), "%s%c%s", relative_path, '\\', name);
      ScanDirAndHash(catalog, sub, file_list, file_list_count);
      continue;
    }

    ascii_lower(name);
    for (DWORD i = 0; i < file_list_count; i++) {
      if (file_list[i] == nullptr || std::strcmp(name, file_list[i]) != 0) continue;
      char full_path[3 * MAX_PATH];
      int len = std::snprintf(full_path, sizeof(full_path), "%s%s%c%s", catalog_base_path, relative_path, '\\', name);
      BYTE hash[20];
      if (len > 0 && static_cast<size_t>(len) < sizeof(full_path) && CalcHash(hash, full_path) &&
          AddFileHash(catalog, name, hash)) {
        wdi_info("added hash for '%s'", full_path);
      } else {
        wdi_warn("could not add hash for '%s' - ignored", full_path);
      }
      break;
    }
  } while (::FindNextFileW(search.get(), &entry));
}

extern "C" int CalcHash(BYTE hash[20], const char* file_path) {
  unique_malloc<wchar_t> wpath(utf8_to_utf16(file_path));
  if (!wpath) return FALSE;
  unique_file file(::CreateFileW(wpath.get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && hash_of_handle(file.get(), hash) ? TRUE : FALSE;
}

extern "C" int AddFileHash(HANDLE catalog, const char* file_name, const BYTE hash[20]) {
  auto put_member = required_import<imports::CryptCATPutMemberInfo>(__func__);
  if (put_member == nullptr) return FALSE;
  auto put_attr = required_import<imports::CryptCATPutAttrInfo>(__func__);
  if (put_attr == nullptr) return FALSE;
  auto encode = required_import<imports::CryptEncodeObject>(__func__);
  if (encode == nullptr) return FALSE;

  wchar_t tag[41];
  for (int i = 0; i < 20; i++) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02X", hash[i]);
    tag[2 * i] = static_cast<wchar_t>(digits[0]);
    tag[2 * i + 1] = static_cast<wchar_t>(digits[1]);
  }
  tag[40] = L'\0';

  unique_malloc<wchar_t> wname(utf8_to_utf16(file_name));
  if (!wname) return FALSE;
  ::CharLowerW(wname.get());

  file_kind kind = kind_of(wname.get());
  if (kind == file_kind::unhandled) {
    wdi_warn("unhandled file type: '%s' - ignoring", file_name);
    return FALSE;
  }
  wdi_dbg(kind == file_kind::pe ? "'%s': PE type" : "'%s': INF type", file_name);

  // The file link that Windows itself writes for catalog members.
  SPC_LINK link = {};
  link.dwLinkChoice = SPC_FILE_LINK_CHOICE;
  link.pwszFile = const_cast<wchar_t*>(kObsolete);
  BYTE pe_flags = 0xA0;
  SPC_PE_IMAGE_DATA pe_data = {};
  pe_data.Flags.cbData = 1;
  pe_data.Flags.pbData = &pe_flags;
  pe_data.Flags.cUnusedBits = 0;
  pe_data.pFile = &link;

  const char* data_oid = kind == file_kind::pe ? SPC_PE_IMAGE_DATA_OBJID : kInfDataOid;
  const void* data_value = kind == file_kind::pe ? static_cast<const void*>(&pe_data) : &link;
  BYTE encoded[64];
  DWORD encoded_size = sizeof(encoded);
  if (!encode(X509_ASN_ENCODING, data_oid, data_value, encoded, &encoded_size)) {
    wdi_warn("unable to encode SPC Image Data: %s", windows_error_text(0));
    return FALSE;
  }

  SIP_INDIRECT_DATA sip = {};
  sip.Data.pszObjId = const_cast<char*>(data_oid);
  sip.Data.Value.cbData = encoded_size;
  sip.Data.Value.pbData = encoded;
  sip.DigestAlgorithm.pszObjId = const_cast<char*>(kSha1Oid);
  sip.Digest.cbData = 20;
  sip.Digest.pbData = const_cast<BYTE*>(hash);

  CRYPTCATMEMBER* member = put_member(catalog, nullptr, tag, kind == file_kind::pe ? &kPeSubject : &kInfSubject,
                                      CRYPTCAT_VERSION_2, sizeof(sip), reinterpret_cast<BYTE*>(&sip));
  if (member == nullptr) {
    wdi_warn("unable to create cat entry for file '%s': %s", file_name, windows_error_text(0));
    return FALSE;
  }
  if (put_attr(catalog, member, const_cast<wchar_t*>(L"File"), kAttrFlags, text_size(wname.get()),
               text_bytes(wname.get())) == nullptr ||
      put_attr(catalog, member, const_cast<wchar_t*>(L"OSAttr"), kAttrFlags, text_size(kOsAttr),
               text_bytes(kOsAttr)) == nullptr) {
    wdi_warn("unable to create attributes for file '%s': %s", file_name, windows_error_text(0));
    return FALSE;
  }
  return TRUE;
}
