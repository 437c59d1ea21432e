// The signer records and entry points of mssign32 that the MinGW headers lack, and the catalog
// store call that they declare under another name.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#define SIGNER_SUBJECT_FILE 1
#define SIGNER_CERT_STORE 2
#define SIGNER_CERT_POLICY_CHAIN 2
#define SIGNER_NO_ATTR 0

typedef struct _SIGNER_FILE_INFO {
  DWORD cbSize;
  LPCWSTR pwszFileName;
  HANDLE hFile;
} SIGNER_FILE_INFO;

typedef struct _SIGNER_BLOB_INFO {
  DWORD cbSize;
  GUID* pGuidSubject;
  DWORD cbBlob;
  BYTE* pbBlob;
  LPCWSTR pwszDisplayName;
} SIGNER_BLOB_INFO;

typedef struct _SIGNER_SUBJECT_INFO {
  DWORD cbSize;
  DWORD* pdwIndex;
  DWORD dwSubjectChoice;
  union {
    SIGNER_FILE_INFO* pSignerFileInfo;
    SIGNER_BLOB_INFO* pSignerBlobInfo;
  };
} SIGNER_SUBJECT_INFO;

typedef struct _SIGNER_CERT_STORE_INFO {
  DWORD cbSize;
  PCCERT_CONTEXT pSigningCert;
  DWORD dwCertPolicy;
  HCERTSTORE hCertStore;
} SIGNER_CERT_STORE_INFO;

typedef struct _SIGNER_SPC_CHAIN_INFO {
  DWORD cbSize;
  LPCWSTR pwszSpcFile;
  DWORD dwCertPolicy;
  HCERTSTORE hCertStore;
} SIGNER_SPC_CHAIN_INFO;

typedef struct _SIGNER_CERT {
  DWORD cbSize;
  DWORD dwCertChoice;
  union {
    LPCWSTR pwszSpcFile;
    SIGNER_CERT_STORE_INFO* pCertStoreInfo;
    SIGNER_SPC_CHAIN_INFO* pSpcChainInfo;
  };
  HWND hwnd;
} SIGNER_CERT;

typedef struct _SIGNER_ATTR_AUTHCODE {
  DWORD cbSize;
  BOOL fCommercial;
  BOOL fIndividual;
  LPCWSTR pwszName;
  LPCWSTR pwszInfo;
} SIGNER_ATTR_AUTHCODE;

typedef struct _SIGNER_SIGNATURE_INFO {
  DWORD cbSize;
  ALG_ID algidHash;
  DWORD dwAttrChoice;
  union {
    SIGNER_ATTR_AUTHCODE* pAttrAuthcode;
  };
  PCRYPT_ATTRIBUTES psAuthenticated;
  PCRYPT_ATTRIBUTES psUnauthenticated;
} SIGNER_SIGNATURE_INFO;

typedef struct _SIGNER_PROVIDER_INFO SIGNER_PROVIDER_INFO;  // never passed

typedef struct _SIGNER_CONTEXT {
  DWORD cbSize;
  DWORD cbBlob;
  BYTE* pbBlob;
} SIGNER_CONTEXT;

extern "C" {
HRESULT WINAPI SignerSignEx(DWORD dwFlags, SIGNER_SUBJECT_INFO* pSubjectInfo, SIGNER_CERT* pSignerCert,
                            SIGNER_SIGNATURE_INFO* pSignatureInfo, SIGNER_PROVIDER_INFO* pProviderInfo,
                            LPCWSTR pwszHttpTimeStamp, PCRYPT_ATTRIBUTES psRequest, LPVOID pSipData,
                            SIGNER_CONTEXT** ppSignerContext);
HRESULT WINAPI SignerFreeSignerContext(SIGNER_CONTEXT* pSignerContext);
struct CRYPTCATSTORE_* WINAPI CryptCATStoreFromHandle(HANDLE hCatalog);
}

