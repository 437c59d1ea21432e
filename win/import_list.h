// Every entry point that the engine and the installer program resolve at run time: functions that
// older Windows versions lack, and the CryptoAPI, catalog and signing ones. One
// VELMOR_IMPORT(module, name, function pointer type) each; no include guard: expanded by
// win/imports.h and win/imports.cpp.

// Kernel: later than XP, or needed before the search path is restricted.
VELMOR_IMPORT("kernel32.dll", CancelIoEx, BOOL(WINAPI*)(HANDLE, LPOVERLAPPED))
VELMOR_IMPORT("kernel32.dll", IsWow64Process, BOOL(WINAPI*)(HANDLE, PBOOL))
VELMOR_IMPORT("kernel32.dll", IsWow64Process2, BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*))
VELMOR_IMPORT("kernel32.dll", SetDefaultDllDirectories, BOOL(WINAPI*)(DWORD))
VELMOR_IMPORT("kernel32.dll", AddDllDirectory, void*(WINAPI*)(PCWSTR))
VELMOR_IMPORT("kernel32.dll", SetDllDirectoryW, BOOL(WINAPI*)(LPCWSTR))
// Starting the installer with only the handles it needs, and each pipe end checking the other.
VELMOR_IMPORT("kernel32.dll", InitializeProcThreadAttributeList,
              BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T))
VELMOR_IMPORT("kernel32.dll", UpdateProcThreadAttribute,
              BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID, PSIZE_T))
VELMOR_IMPORT("kernel32.dll", DeleteProcThreadAttributeList, void(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST))
VELMOR_IMPORT("kernel32.dll", GetNamedPipeClientProcessId, BOOL(WINAPI*)(HANDLE, PULONG))
VELMOR_IMPORT("kernel32.dll", GetNamedPipeServerProcessId, BOOL(WINAPI*)(HANDLE, PULONG))
VELMOR_IMPORT("kernel32.dll", GetFileInformationByHandleEx,
              BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD))
VELMOR_IMPORT("kernel32.dll", GetFinalPathNameByHandleW, DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD))
// Opening a name inside an open folder (win/open_in_folder.h): no Win32 call takes a folder handle.
// The object-attribute and status-block records stay opaque here.
VELMOR_IMPORT("ntdll.dll", NtCreateFile,
              LONG(NTAPI*)(PHANDLE, ACCESS_MASK, void*, void*, PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG))
VELMOR_IMPORT("ntdll.dll", RtlNtStatusToDosError, ULONG(NTAPI*)(LONG))
VELMOR_IMPORT("shell32.dll", IsUserAnAdmin, BOOL(WINAPI*)(void))
// The kept package sources' folder (engine/package/kept_source.cpp): the app delay-loads shell32,
// and a direct call there would be bound to the startup import the toolchain adds by default.
VELMOR_IMPORT("shell32.dll", SHGetFolderPathW, HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR))
// The user's profile folder from the token (no known DLL on every system).
VELMOR_IMPORT("userenv.dll", GetUserProfileDirectoryW, BOOL(WINAPI*)(HANDLE, LPWSTR, LPDWORD))
// Not known DLLs on every system (comctl32 on none), so never static imports of the app.
VELMOR_IMPORT("shlwapi.dll", PathSkipRootW, LPCWSTR(WINAPI*)(LPCWSTR))
VELMOR_IMPORT("comctl32.dll", InitCommonControlsEx, BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*))
VELMOR_IMPORT("Msvcrt.dll", __wgetmainargs, int(__cdecl*)(int*, wchar_t***, wchar_t***, int, int*))

// Random bytes (win/random.h): bcrypt from Vista on, advapi32's own generator on XP. Never a static
// import: later advapi32 forwards the generator to cryptbase, which is no known DLL.
VELMOR_IMPORT("bcrypt.dll", BCryptGenRandom, LONG(WINAPI*)(void*, PUCHAR, ULONG, ULONG))
VELMOR_IMPORT("bcrypt.dll", BCryptOpenAlgorithmProvider, LONG(WINAPI*)(void**, LPCWSTR, LPCWSTR, ULONG))
VELMOR_IMPORT("bcrypt.dll", BCryptCloseAlgorithmProvider, LONG(WINAPI*)(void*, ULONG))
VELMOR_IMPORT("advapi32.dll", SystemFunction036, BOOLEAN(WINAPI*)(PVOID, ULONG))

// File version resources.
VELMOR_IMPORT("version.dll", GetFileVersionInfoSizeW, DWORD(WINAPI*)(LPCWSTR, LPDWORD))
VELMOR_IMPORT("version.dll", GetFileVersionInfoW, BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID))
VELMOR_IMPORT("version.dll", VerQueryValueW, BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT))

// Devices: the configuration manager, SetupAPI and the device installer (the installer program
// imports none of them: neither is a known DLL on every system).
VELMOR_IMPORT("Cfgmgr32.dll", CM_Get_Parent, CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG))
VELMOR_IMPORT("Cfgmgr32.dll", CM_Get_Child, CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG))
VELMOR_IMPORT("Cfgmgr32.dll", CM_Get_Sibling, CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG))
VELMOR_IMPORT("Cfgmgr32.dll", CM_Get_Device_IDA, CONFIGRET(WINAPI*)(DEVINST, PCHAR, ULONG, ULONG))
VELMOR_IMPORT("Cfgmgr32.dll", CM_Locate_DevNodeA, CONFIGRET(WINAPI*)(PDEVINST, DEVINSTID_A, ULONG))
VELMOR_IMPORT("Cfgmgr32.dll", CM_Reenumerate_DevNode, CONFIGRET(WINAPI*)(DEVINST, ULONG))
VELMOR_IMPORT("Cfgmgr32.dll", CM_Get_DevNode_Status, CONFIGRET(WINAPI*)(PULONG, PULONG, DEVINST, ULONG))
VELMOR_IMPORT("Setupapi.dll", CMP_WaitNoPendingInstallEvents, DWORD(WINAPI*)(DWORD))
VELMOR_IMPORT("Setupapi.dll", SetupDiGetClassDevsA, decltype(&::SetupDiGetClassDevsA))
VELMOR_IMPORT("Setupapi.dll", SetupDiDestroyDeviceInfoList, decltype(&::SetupDiDestroyDeviceInfoList))
VELMOR_IMPORT("Setupapi.dll", SetupDiEnumDeviceInfo, decltype(&::SetupDiEnumDeviceInfo))
VELMOR_IMPORT("Setupapi.dll", SetupDiGetDeviceRegistryPropertyA, decltype(&::SetupDiGetDeviceRegistryPropertyA))
VELMOR_IMPORT("Setupapi.dll", SetupDiGetDeviceRegistryPropertyW, decltype(&::SetupDiGetDeviceRegistryPropertyW))
VELMOR_IMPORT("Setupapi.dll", SetupDiOpenDevRegKey, decltype(&::SetupDiOpenDevRegKey))
VELMOR_IMPORT("Setupapi.dll", SetupDiCreateDeviceInfoList, decltype(&::SetupDiCreateDeviceInfoList))
VELMOR_IMPORT("Setupapi.dll", SetupDiOpenDeviceInfoA, decltype(&::SetupDiOpenDeviceInfoA))
VELMOR_IMPORT("Setupapi.dll", SetupDiSetDeviceRegistryPropertyA, decltype(&::SetupDiSetDeviceRegistryPropertyA))
VELMOR_IMPORT("Setupapi.dll", SetupCopyOEMInfW, decltype(&::SetupCopyOEMInfW))
VELMOR_IMPORT("Newdev.dll", UpdateDriverForPlugAndPlayDevicesW, decltype(&::UpdateDriverForPlugAndPlayDevicesW))
// The driver store (/check, /uninstall). DiUninstallDriverW exists from Windows 7 on.
VELMOR_IMPORT("Newdev.dll", DiUninstallDriverW, BOOL(WINAPI*)(HWND, LPCWSTR, DWORD, PBOOL))
VELMOR_IMPORT("Setupapi.dll", SetupUninstallOEMInfW, BOOL(WINAPI*)(PCWSTR, DWORD, PVOID))
VELMOR_IMPORT("Setupapi.dll", SetupOpenInfFileW, decltype(&::SetupOpenInfFileW))
VELMOR_IMPORT("Setupapi.dll", SetupCloseInfFile, decltype(&::SetupCloseInfFile))
VELMOR_IMPORT("Setupapi.dll", SetupGetLineTextW, decltype(&::SetupGetLineTextW))
VELMOR_IMPORT("Setupapi.dll", SetupGetInfInformationW, decltype(&::SetupGetInfInformationW))
VELMOR_IMPORT("Setupapi.dll", SetupQueryInfOriginalFileInformationW, decltype(&::SetupQueryInfOriginalFileInformationW))
VELMOR_IMPORT("Setupapi.dll", SetupDiCallClassInstaller, decltype(&::SetupDiCallClassInstaller))
VELMOR_IMPORT("Setupapi.dll", SetupDiGetDeviceInstanceIdA, decltype(&::SetupDiGetDeviceInstanceIdA))
VELMOR_IMPORT("setupapi.dll", SetupDiGetDevicePropertyW, BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*,
                                                                      DEVPROPTYPE*, PBYTE, DWORD, PDWORD, DWORD))

// CryptoAPI, catalogs and signing. advapi32's CryptoAPI functions too: Windows 8 and later forward
// them to cryptsp, which is no known DLL.
VELMOR_IMPORT("advapi32.dll", CryptAcquireContextW, decltype(&::CryptAcquireContextW))
VELMOR_IMPORT("advapi32.dll", CryptReleaseContext, decltype(&::CryptReleaseContext))
VELMOR_IMPORT("advapi32.dll", CryptSetProvParam, decltype(&::CryptSetProvParam))
VELMOR_IMPORT("advapi32.dll", CryptGenKey, decltype(&::CryptGenKey))
VELMOR_IMPORT("advapi32.dll", CryptDestroyKey, decltype(&::CryptDestroyKey))
VELMOR_IMPORT("crypt32", CryptEncodeObject, decltype(&::CryptEncodeObject))
VELMOR_IMPORT("crypt32", CertStrToNameA, decltype(&::CertStrToNameA))
VELMOR_IMPORT("crypt32", CertCreateSelfSignCertificate, decltype(&::CertCreateSelfSignCertificate))
VELMOR_IMPORT("crypt32", CertFreeCertificateContext, decltype(&::CertFreeCertificateContext))
VELMOR_IMPORT("crypt32", CertOpenStore, decltype(&::CertOpenStore))
VELMOR_IMPORT("crypt32", CertCloseStore, decltype(&::CertCloseStore))
VELMOR_IMPORT("crypt32", CertSetCertificateContextProperty, decltype(&::CertSetCertificateContextProperty))
VELMOR_IMPORT("crypt32", CertAddCertificateContextToStore, decltype(&::CertAddCertificateContextToStore))
VELMOR_IMPORT("crypt32", CertAddEncodedCertificateToStore, decltype(&::CertAddEncodedCertificateToStore))
VELMOR_IMPORT("crypt32", CertFindCertificateInStore, decltype(&::CertFindCertificateInStore))
VELMOR_IMPORT("crypt32", CertDeleteCertificateFromStore, decltype(&::CertDeleteCertificateFromStore))
VELMOR_IMPORT("crypt32", CertEnumCertificatesInStore, decltype(&::CertEnumCertificatesInStore))
VELMOR_IMPORT("crypt32", CertDuplicateCertificateContext, decltype(&::CertDuplicateCertificateContext))
VELMOR_IMPORT("crypt32", CertFindExtension, decltype(&::CertFindExtension))
VELMOR_IMPORT("crypt32", CertGetCertificateContextProperty, decltype(&::CertGetCertificateContextProperty))
VELMOR_IMPORT("crypt32", CryptAcquireCertificatePrivateKey, decltype(&::CryptAcquireCertificatePrivateKey))
VELMOR_IMPORT("wintrust", CryptCATOpen, decltype(&::CryptCATOpen))
VELMOR_IMPORT("wintrust", CryptCATClose, decltype(&::CryptCATClose))
VELMOR_IMPORT("wintrust", CryptCATPersistStore, decltype(&::CryptCATPersistStore))
VELMOR_IMPORT("wintrust", CryptCATStoreFromHandle, decltype(&::CryptCATStoreFromHandle))
VELMOR_IMPORT("wintrust", CryptCATPutCatAttrInfo, decltype(&::CryptCATPutCatAttrInfo))
VELMOR_IMPORT("wintrust", CryptCATPutMemberInfo, decltype(&::CryptCATPutMemberInfo))
VELMOR_IMPORT("wintrust", CryptCATPutAttrInfo, decltype(&::CryptCATPutAttrInfo))
VELMOR_IMPORT("wintrust", CryptCATAdminCalcHashFromFileHandle, decltype(&::CryptCATAdminCalcHashFromFileHandle))
VELMOR_IMPORT("mssign32", SignerSignEx, decltype(&::SignerSignEx))
VELMOR_IMPORT("mssign32", SignerFreeSignerContext, decltype(&::SignerFreeSignerContext))
