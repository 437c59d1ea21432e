// Test stand-in for wintrust.dll: records every catalog call (see record.h), keeps the catalog in
// memory and writes it at CryptCATPersistStore as a real unsigned catalog (a PKCS #7 certificate
// trust list made by crypt32), so that openssl can read it. Hashing and the ASN.1 encoders that
// crypt32 looks up in "wintrust.dll" are passed to Wine's own wintrust (see real_wintrust).
#include <windows.h>
#include <objbase.h>
#include <wincrypt.h>
#include <mscat.h>
#include <mssip.h>
#include <wintrust.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "record.h"

using standin::line;

namespace {

// Wine's own module: this stand-in takes its place in the system folder, where Wine's file is kept
// as "wintrust.dll.wine" (wine_test::place_system_module); never this module itself.
HMODULE real_wintrust() {
  static HMODULE module = [] {
    wchar_t path[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(path, MAX_PATH - 24);
    if (n == 0 || n >= MAX_PATH - 24) return static_cast<HMODULE>(nullptr);
    lstrcatW(path, L"\\wintrust.dll.wine");
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&real_wintrust), &self);
    HMODULE found = ::LoadLibraryExW(path, nullptr, 0);
    return found != self ? found : static_cast<HMODULE>(nullptr);
  }();
  return module;
}

template <typename Fn>
Fn real(const char* name) {
  HMODULE m = real_wintrust();
  return m != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m, name))) : nullptr;
}

struct attribute {
  std::wstring name;
  DWORD flags;
  std::vector<BYTE> value;
  CRYPTCATATTRIBUTE record;
};

struct member {
  std::wstring tag;
  GUID subject;
  DWORD version;
  std::string data_oid, digest_oid;
  std::vector<BYTE> data_value, digest;
  std::list<attribute> attributes;
  CRYPTCATMEMBER record;
};

struct catalog {
  std::wstring path;
  std::list<attribute> attributes;
  std::list<member> members;
};

attribute& add_attribute(std::list<attribute>& list, const wchar_t* name, DWORD flags, DWORD size, const BYTE* data) {
  list.push_back({name != nullptr ? name : L"", flags,
                  data != nullptr ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>(), {}});
  attribute& a = list.back();
  a.record.cbStruct = sizeof(a.record);
  a.record.pwszReferenceTag = &a.name[0];
  a.record.dwAttrTypeAndAction = flags;
  a.record.cbValue = size;
  a.record.pbValue = a.value.data();
  return a;
}

void record_attribute(line& l, DWORD flags, DWORD size, const BYTE* data) {
  l.hex32("flags", flags).number("size", size);
  // Text values: UTF-16 with terminator, recorded as text only when the terminator is where the size says.
  if (data != nullptr && size >= 2 && size % 2 == 0 && data[size - 1] == 0 && data[size - 2] == 0)
    l.wtext("text", reinterpret_cast<const wchar_t*>(data));
  l.bytes("value", data, size);
}

using encode_fn = BOOL(WINAPI*)(DWORD, LPCSTR, const void*, BYTE*, DWORD*);

bool encode(const char* encoder, LPCSTR type, const void* value, std::vector<BYTE>& out) {
  auto fn = real<encode_fn>(encoder);
  DWORD size = 0;
  if (fn == nullptr || !fn(X509_ASN_ENCODING, type, value, nullptr, &size)) return false;
  out.resize(size);
  if (!fn(X509_ASN_ENCODING, type, value, out.data(), &size)) return false;
  out.resize(size);
  return true;
}

// A name-value attribute as catalogs carry it (tag, flags, value).
bool encode_name_value(const attribute& a, std::vector<BYTE>& out) {
  CAT_NAMEVALUE nv = {};
  nv.pwszTag = const_cast<wchar_t*>(a.name.c_str());
  nv.fdwFlags = a.flags;
  nv.Value.cbData = static_cast<DWORD>(a.value.size());
  nv.Value.pbData = const_cast<BYTE*>(a.value.data());
  return encode("WVTAsn1CatNameValueEncode", CAT_NAMEVALUE_STRUCT, &nv, out);
}

// DER by hand for the indirect data (Wine's wintrust cannot encode it):
//   SEQUENCE { SEQUENCE { OID data, value }, SEQUENCE { SEQUENCE { OID digest, NULL }, OCTET STRING } }
std::vector<BYTE> tlv(BYTE tag, const std::vector<BYTE>& body) {
  std::vector<BYTE> out{tag};
  size_t n = body.size();
  if (n < 0x80) {
    out.push_back(static_cast<BYTE>(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, static_cast<BYTE>(n)});
  } else {
    out.insert(out.end(), {0x82, static_cast<BYTE>(n >> 8), static_cast<BYTE>(n)});
  }
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<BYTE> oid(const std::string& dotted) {
  std::vector<unsigned long> arcs;
  size_t at = 0;
  while (at <= dotted.size()) {
    size_t dot = dotted.find('.', at);
    if (dot == std::string::npos) dot = dotted.size();
    arcs.push_back(std::stoul(dotted.substr(at, dot - at)));
    at = dot + 1;
  }
  std::vector<BYTE> body;
  if (arcs.size() >= 2) body.push_back(static_cast<BYTE>(arcs[0] * 40 + arcs[1]));
  for (size_t i = 2; i < arcs.size(); i++) {
    std::vector<BYTE> digits;
    unsigned long v = arcs[i];
    do {
      digits.insert(digits.begin(), static_cast<BYTE>((v & 0x7F) | (digits.empty() ? 0 : 0x80)));
      v >>= 7;
    } while (v != 0);
    body.insert(body.end(), digits.begin(), digits.end());
  }
  return tlv(0x06, body);
}

std::vector<BYTE> concat(std::vector<BYTE> a, const std::vector<BYTE>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<BYTE> indirect_data(const member& m) {
  std::vector<BYTE> data = tlv(0x30, concat(oid(m.data_oid), m.data_value));
  std::vector<BYTE> algorithm = tlv(0x30, concat(oid(m.digest_oid), {0x05, 0x00}));
  std::vector<BYTE> digest = tlv(0x30, concat(algorithm, tlv(0x04, m.digest)));
  return tlv(0x30, concat(data, digest));
}

bool write_catalog(const catalog& cat, std::string& failed_step) {
  // Everything the encoded structures point at must outlive the encoding.
  std::list<std::vector<BYTE>> blobs;
  std::list<CRYPT_ATTR_BLOB> values;
  std::vector<std::vector<CRYPT_ATTRIBUTE>> entry_attributes;
  std::vector<CTL_ENTRY> entries;
  std::vector<CERT_EXTENSION> extensions;
  std::list<std::wstring> texts;

  auto keep = [&](std::vector<BYTE>&& b) -> CRYPT_ATTR_BLOB* {
    blobs.push_back(std::move(b));
    values.push_back({static_cast<DWORD>(blobs.back().size()), blobs.back().data()});
    return &values.back();
  };

  for (const attribute& a : cat.attributes) {
    std::vector<BYTE> nv;
    if (!encode_name_value(a, nv)) return failed_step = "catalog name-value", false;
    CRYPT_ATTR_BLOB* b = keep(std::move(nv));
    extensions.push_back({const_cast<char*>(CAT_NAMEVALUE_OBJID), FALSE, *b});
  }

  entry_attributes.reserve(cat.members.size());
  for (const member& m : cat.members) {
    entry_attributes.emplace_back();
    auto& attrs = entry_attributes.back();
    for (const attribute& a : m.attributes) {
      std::vector<BYTE> nv;
      if (!encode_name_value(a, nv)) return failed_step = "member name-value", false;
      attrs.push_back({const_cast<char*>(CAT_NAMEVALUE_OBJID), 1, keep(std::move(nv))});
    }
    wchar_t guid_text[40];
    ::StringFromGUID2(m.subject, guid_text, 40);
    texts.push_back(guid_text);
    CAT_MEMBERINFO info = {&texts.back()[0], m.version};
    std::vector<BYTE> info_der;
    if (!encode("WVTAsn1CatMemberInfoEncode", CAT_MEMBERINFO_STRUCT, &info, info_der))
      return failed_step = "member info", false;
    attrs.push_back({const_cast<char*>(CAT_MEMBERINFO_OBJID), 1, keep(std::move(info_der))});

    std::vector<BYTE> content_der = indirect_data(m);
    attrs.push_back({const_cast<char*>(SPC_INDIRECT_DATA_OBJID), 1, keep(std::move(content_der))});

    CTL_ENTRY e = {};
    e.SubjectIdentifier.cbData = static_cast<DWORD>(m.tag.size() * sizeof(wchar_t));
    e.SubjectIdentifier.pbData = reinterpret_cast<BYTE*>(const_cast<wchar_t*>(m.tag.data()));
    e.cAttribute = static_cast<DWORD>(attrs.size());
    e.rgAttribute = attrs.data();
    entries.push_back(e);
  }

  char list_oid[] = "1.3.6.1.4.1.311.12.1.1";  // catalog list
  char* usages[] = {list_oid};
  BYTE list_id[16];
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  for (int i = 0; i < 16; i++) list_id[i] = static_cast<BYTE>((now.dwLowDateTime >> (i % 4 * 8)) ^ (i * 37));
  CTL_INFO ctl = {};
  ctl.dwVersion = CTL_V1;
  ctl.SubjectUsage.cUsageIdentifier = 1;
  ctl.SubjectUsage.rgpszUsageIdentifier = usages;
  ctl.ListIdentifier.cbData = sizeof(list_id);
  ctl.ListIdentifier.pbData = list_id;
  ctl.ThisUpdate = now;
  ctl.SubjectAlgorithm.pszObjId = const_cast<char*>("1.3.6.1.4.1.311.12.1.2");
  ctl.cCTLEntry = static_cast<DWORD>(entries.size());
  ctl.rgCTLEntry = entries.data();
  ctl.cExtension = static_cast<DWORD>(extensions.size());
  ctl.rgExtension = extensions.data();

  CMSG_SIGNED_ENCODE_INFO no_signers = {};
  no_signers.cbSize = sizeof(no_signers);
  const DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  DWORD size = 0;
  std::vector<BYTE> der;
  if (::CryptMsgEncodeAndSignCTL(encoding, &ctl, &no_signers, 0, nullptr, &size)) der.resize(size);
  if (der.empty() || !::CryptMsgEncodeAndSignCTL(encoding, &ctl, &no_signers, 0, der.data(), &size))
    return failed_step = "trust list", false;

  HANDLE f = ::CreateFileW(cat.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return failed_step = "file", false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(f, der.data(), size, &written, nullptr) && written == size;
  ::CloseHandle(f);
  return ok != FALSE;
}

catalog* as_catalog(HANDLE h) {
  return h != nullptr && h != INVALID_HANDLE_VALUE ? static_cast<catalog*>(h) : nullptr;
}

}  // namespace

extern "C" {

__declspec(dllexport) HANDLE WINAPI CryptCATOpen(LPWSTR path, DWORD flags, HCRYPTPROV prov, DWORD version,
                                                 DWORD encoding) {
  line l("CryptCATOpen");
  l.wtext("path", path).hex32("flags", flags).number("prov_given", prov != 0).number("version", version)
      .hex32("encoding", encoding);
  if (standin::should_fail("CryptCATOpen") || path == nullptr) {
    l.text("result", "fail");
    return INVALID_HANDLE_VALUE;
  }
  // A new catalog replaces the file at once, as on Windows.
  HANDLE f = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    l.text("result", "fail");
    return INVALID_HANDLE_VALUE;
  }
  ::CloseHandle(f);
  catalog* cat = new catalog;
  cat->path = path;
  l.text("result", "ok");
  return cat;
}

__declspec(dllexport) BOOL WINAPI CryptCATClose(HANDLE h) {
  line("CryptCATClose");
  delete as_catalog(h);
  return TRUE;
}

__declspec(dllexport) struct CRYPTCATSTORE_* WINAPI CryptCATStoreFromHandle(HANDLE h) {
  line("CryptCATStoreFromHandle");
  (void)h;
  return nullptr;
}

__declspec(dllexport) CRYPTCATATTRIBUTE* WINAPI CryptCATPutCatAttrInfo(HANDLE h, WCHAR* name, DWORD flags, DWORD size,
                                                                      BYTE* data) {
  line l("CryptCATPutCatAttrInfo");
  l.wtext("name", name);
  record_attribute(l, flags, size, data);
  catalog* cat = as_catalog(h);
  if (cat == nullptr || name == nullptr || standin::should_fail("CryptCATPutCatAttrInfo")) {
    if (cat == nullptr || name == nullptr) ::SetLastError(ERROR_INVALID_PARAMETER);
    l.text("result", "fail");
    return nullptr;
  }
  l.text("result", "ok");
  return &add_attribute(cat->attributes, name, flags, size, data).record;
}

__declspec(dllexport) CRYPTCATMEMBER* WINAPI CryptCATPutMemberInfo(HANDLE h, WCHAR* file_name, WCHAR* tag, GUID* subject,
                                                                  DWORD version, DWORD size, BYTE* data) {
  line l("CryptCATPutMemberInfo");
  l.wtext("file", file_name).wtext("tag", tag);
  if (subject != nullptr) l.guid("subject", *subject);
  l.hex32("version", version).number("size", size);
  const SIP_INDIRECT_DATA* sip = size == sizeof(SIP_INDIRECT_DATA) ? reinterpret_cast<SIP_INDIRECT_DATA*>(data) : nullptr;
  if (sip != nullptr) {
    l.text("data_oid", sip->Data.pszObjId != nullptr ? sip->Data.pszObjId : "(null)")
        .bytes("data_value", sip->Data.Value.pbData, sip->Data.Value.cbData)
        .text("digest_oid", sip->DigestAlgorithm.pszObjId != nullptr ? sip->DigestAlgorithm.pszObjId : "(null)")
        .number("digest_params", sip->DigestAlgorithm.Parameters.cbData)
        .bytes("digest", sip->Digest.pbData, sip->Digest.cbData);
  }
  catalog* cat = as_catalog(h);
  if (cat == nullptr || tag == nullptr || subject == nullptr || sip == nullptr ||
      standin::should_fail("CryptCATPutMemberInfo")) {
    if (cat == nullptr || tag == nullptr || subject == nullptr || sip == nullptr)
      ::SetLastError(ERROR_INVALID_PARAMETER);
    l.text("result", "fail");
    return nullptr;
  }
  cat->members.emplace_back();
  member& m = cat->members.back();
  m.tag = tag;
  m.subject = *subject;
  m.version = version;
  m.data_oid = sip->Data.pszObjId != nullptr ? sip->Data.pszObjId : "";
  m.data_value.assign(sip->Data.Value.pbData, sip->Data.Value.pbData + sip->Data.Value.cbData);
  m.digest_oid = sip->DigestAlgorithm.pszObjId != nullptr ? sip->DigestAlgorithm.pszObjId : "";
  m.digest.assign(sip->Digest.pbData, sip->Digest.pbData + sip->Digest.cbData);
  m.record = {};
  m.record.cbStruct = sizeof(m.record);
  m.record.pwszReferenceTag = &m.tag[0];
  m.record.gSubjectType = m.subject;
  m.record.dwCertVersion = version;
  l.text("result", "ok");
  return &m.record;
}

__declspec(dllexport) CRYPTCATATTRIBUTE* WINAPI CryptCATPutAttrInfo(HANDLE h, CRYPTCATMEMBER* member_record, WCHAR* name,
                                                                   DWORD flags, DWORD size, BYTE* data) {
  line l("CryptCATPutAttrInfo");
  l.wtext("member", member_record != nullptr ? member_record->pwszReferenceTag : nullptr).wtext("name", name);
  record_attribute(l, flags, size, data);
  catalog* cat = as_catalog(h);
  member* owner = nullptr;
  if (cat != nullptr)
    for (member& m : cat->members)
      if (&m.record == member_record) owner = &m;
  if (owner == nullptr || name == nullptr || standin::should_fail("CryptCATPutAttrInfo")) {
    if (owner == nullptr || name == nullptr) ::SetLastError(ERROR_INVALID_PARAMETER);
    l.text("result", "fail");
    return nullptr;
  }
  l.text("result", "ok");
  return &add_attribute(owner->attributes, name, flags, size, data).record;
}

__declspec(dllexport) BOOL WINAPI CryptCATPersistStore(HANDLE h) {
  line l("CryptCATPersistStore");
  catalog* cat = as_catalog(h);
  if (cat != nullptr) l.number("members", static_cast<unsigned long>(cat->members.size()));
  std::string failed_step;
  if (cat == nullptr || standin::should_fail("CryptCATPersistStore") || !write_catalog(*cat, failed_step)) {
    if (!failed_step.empty()) l.text("failed_step", failed_step).hex32("error", ::GetLastError());
    l.text("result", "fail");
    return FALSE;
  }
  l.text("result", "ok");
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI CryptCATAdminCalcHashFromFileHandle(HANDLE file, DWORD* size, BYTE* hash, DWORD flags) {
  line l("CryptCATAdminCalcHashFromFileHandle");
  l.number("size_in", size != nullptr ? *size : 0).hex32("flags", flags);
  using calc_fn = BOOL(WINAPI*)(HANDLE, DWORD*, BYTE*, DWORD);
  auto calc = real<calc_fn>("CryptCATAdminCalcHashFromFileHandle");
  if (standin::should_fail("CryptCATAdminCalcHashFromFileHandle") || calc == nullptr || !calc(file, size, hash, flags)) {
    l.text("result", "fail");
    return FALSE;
  }
  l.bytes("hash", hash, *size).text("result", "ok");
  return TRUE;
}

// The ASN.1 encoders and decoders crypt32 finds under "wintrust.dll" in the registry.
#define FORWARD_ENCODER(name)                                                                           \
  __declspec(dllexport) BOOL WINAPI name(DWORD enc, LPCSTR type, const void* info, BYTE* out, DWORD* size) { \
    auto fn = real<encode_fn>(#name);                                                                    \
    return fn != nullptr && fn(enc, type, info, out, size);                                              \
  }
#define FORWARD_DECODER(name)                                                                            \
  __declspec(dllexport) BOOL WINAPI name(DWORD enc, LPCSTR type, const BYTE* in, DWORD in_size, DWORD flags, \
                                         void* info, DWORD* size) {                                       \
    using fn_t = BOOL(WINAPI*)(DWORD, LPCSTR, const BYTE*, DWORD, DWORD, void*, DWORD*);                 \
    auto fn = real<fn_t>(#name);                                                                          \
    return fn != nullptr && fn(enc, type, in, in_size, flags, info, size);                                \
  }
FORWARD_ENCODER(WVTAsn1SpcPeImageDataEncode)
FORWARD_ENCODER(WVTAsn1SpcLinkEncode)
FORWARD_ENCODER(WVTAsn1SpcIndirectDataContentEncode)
FORWARD_ENCODER(WVTAsn1SpcSpOpusInfoEncode)
FORWARD_ENCODER(WVTAsn1SpcFinancialCriteriaInfoEncode)
FORWARD_ENCODER(WVTAsn1CatNameValueEncode)
FORWARD_ENCODER(WVTAsn1CatMemberInfoEncode)
FORWARD_DECODER(WVTAsn1SpcPeImageDataDecode)
FORWARD_DECODER(WVTAsn1SpcLinkDecode)
FORWARD_DECODER(WVTAsn1SpcIndirectDataContentDecode)
FORWARD_DECODER(WVTAsn1SpcSpOpusInfoDecode)
FORWARD_DECODER(WVTAsn1SpcFinancialCriteriaInfoDecode)
FORWARD_DECODER(WVTAsn1CatNameValueDecode)
FORWARD_DECODER(WVTAsn1CatMemberInfoDecode)

}  // extern "C"
