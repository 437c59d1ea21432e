// The signing key's container. A machine key container is a machine-wide object any local user
// can create: one of a name known beforehand could be made by someone else with a DACL that lets
// them read the key put into it. So each signing makes a container of a random name, creates it
// new (an existing one is never opened), narrows its DACL before a key goes in, and deletes it
// when the signature is made.
#include "engine/signing/key_container.h"

#include <sddl.h>

#include <cstdio>
#include <cwchar>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/system.h"
#include "engine/recovery/journal.h"
#include "engine/signing/publisher.h"
#include "win/handles.h"
#include "win/random.h"
#include "win/utf8.h"

namespace imports = velmor::imports;

extern "C" {
void (*key_container_random_for_tests)(BYTE* bytes, DWORD size) = nullptr;
}

namespace {

constexpr int kNameAttempts = 4;
constexpr DWORD kRandomBytes = 16;
// Administrators and the system account: full access; nobody else; nothing inherited.
const wchar_t kContainerDacl[] = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";

wchar_t recorded_name[64] = L"";

bool random_bytes(BYTE* bytes, DWORD size) {
  if (key_container_random_for_tests != nullptr) {
    key_container_random_for_tests(bytes, size);
    return true;
  }
  return velmor::random_bytes(bytes, size);
}

bool fresh_name(wchar_t (&name)[64]) {
  BYTE bytes[kRandomBytes];
  if (!random_bytes(bytes, sizeof(bytes))) return false;
  int length = std::swprintf(name, 64, L"%ls ", VELMOR_KEY_CONTAINER_PREFIX);
  for (BYTE b : bytes) length += std::swprintf(name + length, 64 - length, L"%02x", b);
  return true;
}

// The name is recorded before the container exists and forgotten after it is gone: a run killed
// in between leaves the record, and the next preparation deletes the container
// (delete_recorded_key_containers).
bool record(const wchar_t* name) {
  return velmor::journal::add(velmor::journal::kKeyContainers, name, L"signing key", "CreateSelfSignedCert");
}
void forget(const wchar_t* name) { velmor::journal::remove(velmor::journal::kKeyContainers, name); }

bool delete_container(const wchar_t* name) {
  auto acquire = required_import<imports::CryptAcquireContextW>("DeletePrivateKey");
  HCRYPTPROV unused = 0;
  return acquire != nullptr &&
         acquire(&unused, name, VELMOR_SIGNING_PROVIDER, PROV_RSA_FULL, CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET | CRYPT_SILENT) != FALSE;
}

bool restrict_access(HCRYPTPROV provider) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kContainerDacl, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  velmor::unique_hlocal owner(descriptor);
  auto set_param = required_import<imports::CryptSetProvParam>("CreateSelfSignedCert");
  return set_param != nullptr && set_param(provider, PP_KEYSET_SEC_DESCR, static_cast<BYTE*>(descriptor),
                       DACL_SECURITY_INFORMATION) != FALSE;
}

}  // namespace

extern "C" int new_key_container(HCRYPTPROV* provider) {
  const char* caller = "CreateSelfSignedCert";
  if (recorded_name[0] != L'\0') delete_signing_key_container();
  // Earlier versions used one name for every signing: whatever holds it now is not ours to use.
  if (delete_container(VELMOR_LEGACY_KEY_CONTAINER)) {
    engine_log(LOG_INFO, caller, "deleted the key container of an earlier version");
  }
  auto acquire = required_import<imports::CryptAcquireContextW>(caller);
  if (acquire == nullptr) return FALSE;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    wchar_t name[64];
    if (!fresh_name(name)) return FALSE;
    // A key no record knows of could outlive a kill: no record, no key.
    if (!record(name)) return FALSE;
    velmor::unique_crypt_provider container;
    if (!acquire(container.put(), name, VELMOR_SIGNING_PROVIDER, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET | CRYPT_SILENT | CRYPT_NEWKEYSET)) {
      DWORD error = ::GetLastError();
      // Not made by us: its record must not make a later recovery delete it.
      forget(name);
      ::SetLastError(error);
      if (error != static_cast<DWORD>(NTE_EXISTS)) return FALSE;
      // Somebody made it first: never used, and not ours to delete.
      engine_log(LOG_WARNING, caller, "key container name already taken - trying another");
      ::SetLastError(error);
      continue;
    }
    std::swprintf(recorded_name, sizeof(recorded_name) / sizeof(recorded_name[0]), L"%ls", name);
    if (!restrict_access(container.get())) {
      DWORD error = ::GetLastError();
      engine_log(LOG_WARNING, caller, "could not restrict access to the key container: %s", windows_error_text(error));
      container.reset();
      delete_signing_key_container();
      ::SetLastError(error);
      return FALSE;
    }
    *provider = container.release();
    return TRUE;
  }
  return FALSE;
}

extern "C" void delete_recorded_key_containers(void) {
  for (const auto& recorded : velmor::journal::list(velmor::journal::kKeyContainers)) {
    const wchar_t* name = recorded.first.c_str();
    if (recorded_name[0] != L'\0' && std::wcscmp(name, recorded_name) == 0) continue;  // this process's own
    bool deleted = delete_container(name);
    DWORD error = ::GetLastError();
    if (!deleted && error != static_cast<DWORD>(NTE_BAD_KEYSET)) {
      engine_log(LOG_WARNING, "recover_dead_runs", "could not delete the key container '%s' of a run that did not finish: %s",
                 velmor::utf8_string(name).c_str(), windows_error_text(error));
      continue;
    }
    if (deleted) {
      engine_log(LOG_INFO, "recover_dead_runs", "deleted the key container '%s' of a run that did not finish",
                 velmor::utf8_string(name).c_str());
    }
    forget(name);
  }
}

extern "C" const wchar_t* signing_key_container(void) { return recorded_name[0] != L'\0' ? recorded_name : nullptr; }

extern "C" int delete_signing_key_container(void) {
  if (recorded_name[0] == L'\0') {
    ::SetLastError(static_cast<DWORD>(NTE_BAD_KEYSET));
    return FALSE;
  }
  bool deleted = delete_container(recorded_name);
  DWORD error = ::GetLastError();
  // One that could not be deleted stays recorded: the next signing tries again first.
  if (deleted || error == static_cast<DWORD>(NTE_BAD_KEYSET)) {
    forget(recorded_name);
    recorded_name[0] = L'\0';
  }
  ::SetLastError(error);
  return deleted ? TRUE : FALSE;
}
