#include "crypt32_spy.h"

#include <cstring>
#include <map>

namespace crypt32_spy {
namespace {

std::vector<self_sign_call> self_signs;
std::vector<store_call> opens;
std::vector<DWORD> closes;
std::string failing_store;
bool failing_deletes = false;
std::string hidden;
std::map<std::string, unsigned> lookup_counts;
std::vector<find_call> find_calls;
std::vector<delete_call> delete_calls;
std::vector<add_call> add_calls;
std::vector<property_call> property_calls;

using get_proc_fn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
get_proc_fn real_get_proc = nullptr;
decltype(&::CertCreateSelfSignCertificate) real_self_sign = nullptr;
decltype(&::CertOpenStore) real_open = nullptr;
decltype(&::CertCloseStore) real_close = nullptr;
decltype(&::CertFindCertificateInStore) real_find = nullptr;
decltype(&::CertDeleteCertificateFromStore) real_delete = nullptr;
decltype(&::CertAddEncodedCertificateToStore) real_add_encoded = nullptr;
decltype(&::CertAddCertificateContextToStore) real_add = nullptr;
decltype(&::CertSetCertificateContextProperty) real_set_property = nullptr;
bool redirected = false;

bool has_key_link(PCCERT_CONTEXT cert) {
  DWORD size = 0;
  return cert != nullptr && ::CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size);
}

PCCERT_CONTEXT WINAPI spy_find(HCERTSTORE store, DWORD encoding, DWORD flags, DWORD type, const void* para,
                               PCCERT_CONTEXT previous) {
  find_calls.push_back({encoding, flags, type, previous != nullptr});
  return real_find(store, encoding, flags, type, para, previous);
}

BOOL WINAPI spy_delete(PCCERT_CONTEXT cert) {
  delete_call c;
  c.thumbprint = thumbprint(cert);
  if (failing_deletes) {
    ::CertFreeCertificateContext(cert);
    delete_calls.push_back(c);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  BOOL ok = real_delete(cert);
  DWORD error = ::GetLastError();
  c.succeeded = ok != FALSE;
  delete_calls.push_back(c);
  ::SetLastError(error);
  return ok;
}

BOOL WINAPI spy_add_encoded(HCERTSTORE store, DWORD encoding, const BYTE* data, DWORD size, DWORD disposition,
                            PCCERT_CONTEXT* out) {
  add_call c;
  c.encoded = true;
  c.encoding = encoding;
  c.disposition = disposition;
  c.context_requested = out != nullptr;
  PCCERT_CONTEXT parsed = ::CertCreateCertificateContext(X509_ASN_ENCODING, data, size);
  c.thumbprint = thumbprint(parsed);
  if (parsed != nullptr) ::CertFreeCertificateContext(parsed);
  BOOL ok = real_add_encoded(store, encoding, data, size, disposition, out);
  DWORD error = ::GetLastError();
  c.succeeded = ok != FALSE;
  c.result_has_key_link = ok && out != nullptr && has_key_link(*out);
  add_calls.push_back(c);
  ::SetLastError(error);
  return ok;
}

BOOL WINAPI spy_add(HCERTSTORE store, PCCERT_CONTEXT cert, DWORD disposition, PCCERT_CONTEXT* out) {
  add_call c;
  c.disposition = disposition;
  c.context_requested = out != nullptr;
  c.thumbprint = thumbprint(cert);
  BOOL ok = real_add(store, cert, disposition, out);
  DWORD error = ::GetLastError();
  c.succeeded = ok != FALSE;
  add_calls.push_back(c);
  ::SetLastError(error);
  return ok;
}

BOOL WINAPI spy_set_property(PCCERT_CONTEXT cert, DWORD id, DWORD flags, const void* data) {
  property_call c;
  c.id = id;
  c.flags = flags;
  if (id == CERT_FRIENDLY_NAME_PROP_ID && data != nullptr) {
    auto blob = static_cast<const CRYPT_DATA_BLOB*>(data);
    c.value.assign(blob->pbData, blob->pbData + blob->cbData);
  }
  BOOL ok = real_set_property(cert, id, flags, data);
  DWORD error = ::GetLastError();
  c.succeeded = ok != FALSE;
  property_calls.push_back(c);
  ::SetLastError(error);
  return ok;
}

PCCERT_CONTEXT WINAPI spy_self_sign(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE prov, PCERT_NAME_BLOB name, DWORD flags,
                                    PCRYPT_KEY_PROV_INFO key, PCRYPT_ALGORITHM_IDENTIFIER algorithm,
                                    PSYSTEMTIME start, PSYSTEMTIME end, PCERT_EXTENSIONS extensions) {
  self_sign_call c;
  c.provider_given = prov != 0;
  c.flags = flags;
  c.algorithm = algorithm != nullptr && algorithm->pszObjId != nullptr ? algorithm->pszObjId : "(null)";
  c.start_given = start != nullptr;
  if (end != nullptr) {
    c.end = *end;
    c.end_given = true;
  }
  if (key != nullptr) {
    c.container = key->pwszContainerName != nullptr ? key->pwszContainerName : L"(null)";
    c.provider_name_given = key->pwszProvName != nullptr;
    c.provider_type = key->dwProvType;
    c.key_flags = key->dwFlags;
    c.key_spec = key->dwKeySpec;
    c.provider_params = key->cProvParam;
  }
  for (DWORD i = 0; extensions != nullptr && i < extensions->cExtension; i++)
    c.extensions.emplace_back(extensions->rgExtension[i].pszObjId, extensions->rgExtension[i].fCritical != FALSE);
  PCCERT_CONTEXT cert = real_self_sign(prov, name, flags, key, algorithm, start, end, extensions);
  DWORD error = ::GetLastError();
  c.succeeded = cert != nullptr;
  self_signs.push_back(c);
  ::SetLastError(error);
  return cert;
}

HCERTSTORE WINAPI spy_open(LPCSTR provider, DWORD encoding, HCRYPTPROV_LEGACY prov, DWORD flags, const void* para) {
  store_call c;
  c.provider = reinterpret_cast<ULONG_PTR>(provider);
  c.encoding = encoding;
  c.provider_handle_given = prov != 0;
  c.flags = flags;
  if (provider == CERT_STORE_PROV_SYSTEM_A && para != nullptr) c.name = static_cast<const char*>(para);
  opens.push_back(c);
  if (!failing_store.empty() && c.name == failing_store) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return real_open(provider, encoding, prov, flags, para);
}

BOOL WINAPI spy_close(HCERTSTORE store, DWORD flags) {
  closes.push_back(flags);
  return real_close(store, flags);
}

FARPROC WINAPI spy_get_proc(HMODULE module, LPCSTR name) {
  if (reinterpret_cast<ULONG_PTR>(name) > 0xFFFF) {
    lookup_counts[name]++;
    if (hidden == name) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
  }
  FARPROC p = real_get_proc(module, name);
  if (p == nullptr || reinterpret_cast<ULONG_PTR>(name) <= 0xFFFF) return p;
  auto as_proc = [](auto fn) { return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(fn)); };
  if (std::strcmp(name, "CertCreateSelfSignCertificate") == 0) {
    real_self_sign = reinterpret_cast<decltype(real_self_sign)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_self_sign);
  }
  if (std::strcmp(name, "CertOpenStore") == 0) {
    real_open = reinterpret_cast<decltype(real_open)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_open);
  }
  if (std::strcmp(name, "CertFindCertificateInStore") == 0) {
    real_find = reinterpret_cast<decltype(real_find)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_find);
  }
  if (std::strcmp(name, "CertDeleteCertificateFromStore") == 0) {
    real_delete = reinterpret_cast<decltype(real_delete)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_delete);
  }
  if (std::strcmp(name, "CertAddEncodedCertificateToStore") == 0) {
    real_add_encoded = reinterpret_cast<decltype(real_add_encoded)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_add_encoded);
  }
  if (std::strcmp(name, "CertAddCertificateContextToStore") == 0) {
    real_add = reinterpret_cast<decltype(real_add)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_add);
  }
  if (std::strcmp(name, "CertSetCertificateContextProperty") == 0) {
    real_set_property = reinterpret_cast<decltype(real_set_property)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_set_property);
  }
  if (std::strcmp(name, "CertCloseStore") == 0) {
    real_close = reinterpret_cast<decltype(real_close)>(reinterpret_cast<void*>(p));
    return as_proc(&spy_close);
  }
  return p;
}

// Rewrites this program's import slot of kernel32!GetProcAddress.
bool redirect_get_proc_address() {
  HMODULE self = ::GetModuleHandleW(nullptr);
  auto base = reinterpret_cast<BYTE*>(self);
  auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return false;
  FARPROC target = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetProcAddress");
  real_get_proc = reinterpret_cast<get_proc_fn>(reinterpret_cast<void*>(target));
  for (auto imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name != 0; ++imp) {
    for (auto thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk); thunk->u1.Function != 0; ++thunk) {
      if (reinterpret_cast<FARPROC>(thunk->u1.Function) != target) continue;
      DWORD old = 0;
      ::VirtualProtect(&thunk->u1.Function, sizeof(thunk->u1.Function), PAGE_READWRITE, &old);
      thunk->u1.Function = reinterpret_cast<ULONG_PTR>(&spy_get_proc);
      ::VirtualProtect(&thunk->u1.Function, sizeof(thunk->u1.Function), old, &old);
      return true;
    }
  }
  return false;
}

// Before main, so before the engine's first lookup.
const bool redirect_at_start = (redirected = redirect_get_proc_address());

}  // namespace

bool installed() { return redirect_at_start && redirected; }
void reset() {
  self_signs.clear();
  opens.clear();
  closes.clear();
  failing_store.clear();
  failing_deletes = false;
  find_calls.clear();
  delete_calls.clear();
  add_calls.clear();
  property_calls.clear();
}
const std::vector<find_call>& finds() { return find_calls; }
const std::vector<delete_call>& deletes() { return delete_calls; }
const std::vector<add_call>& adds() { return add_calls; }
const std::vector<property_call>& properties() { return property_calls; }

std::string thumbprint(PCCERT_CONTEXT cert) {
  BYTE hash[20];
  DWORD size = sizeof(hash);
  if (cert == nullptr || !::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size)) return "";
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (DWORD i = 0; i < size; i++) {
    out += digits[hash[i] >> 4];
    out += digits[hash[i] & 15];
  }
  return out;
}
const std::vector<self_sign_call>& self_sign_calls() { return self_signs; }
const std::vector<store_call>& store_opens() { return opens; }
const std::vector<DWORD>& store_close_flags() { return closes; }
void fail_store(const std::string& name) { failing_store = name; }
void fail_deletes(bool fail) { failing_deletes = fail; }
void hide(const std::string& name) { hidden = name; }
unsigned lookups(const std::string& name) { return lookup_counts[name]; }

}  // namespace crypt32_spy
