// Watches the crypt32 calls the engine resolves at run time. The engine looks its entry points up
// with GetProcAddress; this program's import of GetProcAddress is redirected (before main) so that
// CertCreateSelfSignCertificate and the store functions come back as recording wrappers
// around the real functions. CertOpenStore can also be made to fail for one store name.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace crypt32_spy {

struct self_sign_call {
  bool provider_given = false;
  DWORD flags = 0;
  std::string algorithm;  // "(null)" when none was passed
  bool start_given = false;
  SYSTEMTIME end = {};
  bool end_given = false;
  std::wstring container;
  bool provider_name_given = false;
  DWORD provider_type = 0, key_flags = 0, key_spec = 0, provider_params = 0;
  std::vector<std::pair<std::string, bool>> extensions;  // OID, critical
  bool succeeded = false;
};

struct store_call {
  ULONG_PTR provider = 0;
  DWORD encoding = 0;
  bool provider_handle_given = false;
  DWORD flags = 0;
  std::string name;
};

struct find_call {
  DWORD encoding = 0, flags = 0, type = 0;
  bool previous_given = false;
};

struct delete_call {
  std::string thumbprint;  // upper-case hex SHA-1 of the certificate
  bool succeeded = false;
};

struct add_call {
  bool encoded = false;  // CertAddEncodedCertificateToStore, else CertAddCertificateContextToStore
  DWORD encoding = 0, disposition = 0;
  std::string thumbprint;
  bool context_requested = false;
  bool succeeded = false;
  bool result_has_key_link = false;  // of the context handed back
};

struct property_call {
  DWORD id = 0, flags = 0;
  std::vector<BYTE> value;
  bool succeeded = false;
};

// True when the redirection is in place (it must be, for the calls below to be seen).
bool installed();
void reset();
const std::vector<self_sign_call>& self_sign_calls();
const std::vector<store_call>& store_opens();
const std::vector<DWORD>& store_close_flags();
const std::vector<find_call>& finds();
const std::vector<delete_call>& deletes();
const std::vector<add_call>& adds();
const std::vector<property_call>& properties();
std::string thumbprint(PCCERT_CONTEXT cert);
// GetProcAddress answers null for this function name ("" for none), as on a system without it.
void hide(const std::string& name);
// How often GetProcAddress was asked for a function name, since the program started.
unsigned lookups(const std::string& name);
// CertDeleteCertificateFromStore fails with access denied (the context is freed, as on Windows).
void fail_deletes(bool fail);
// CertOpenStore fails with access denied for this system store name ("" for none).
void fail_store(const std::string& name);

}  // namespace crypt32_spy
