// TEMPORARY stand-ins for the payload, extraction, enumeration and catalog functions, so that
// package preparation links and its tests run before those land. Delete with
// prepare_pending_deps.h once the real ones are merged.
#include "engine/prepare_pending_deps.h"

#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "engine/status.h"
#include "engine/utf8.h"
#include "engine/win_raii.h"

namespace {
const uint8_t stand_in_bytes[] = "stand-in payload file";
const char template_0[] =
    "; #INF_FILENAME#\r\n"
    "[Strings]\r\n"
    "DeviceName = \042#DEVICE_DESCRIPTION#\042\r\n"
    "VendorName = \042#DEVICE_MANUFACTURER#\042\r\n"
    "SourceName = \042#DEVICE_DESCRIPTION# Install Disk\042\r\n"
    "DeviceID   = \042#DEVICE_HARDWARE_ID#\042\r\n"
    "DeviceGUID = \042#DEVICE_INTERFACE_GUID#\042\r\n"
    "\r\n"
    "[Version]\r\n"
    "Signature   = \042$Windows NT$\042\r\n"
    "Class       = \042USBDevice\042\r\n"
    "ClassGuid   = {88bae032-5a81-49f0-bc3d-a4ff138216d6}\r\n"
    "Provider    = \042Velmor\042\r\n"
    "CatalogFile = #CAT_FILENAME#\r\n"
    "DriverVer   = #DRIVER_DATE#, #DRIVER_VERSION#\r\n"
    "\r\n"
    "[ClassInstall32]\r\n"
    "Addreg = WinUSBDeviceClassReg\r\n"
    "\r\n"
    "[WinUSBDeviceClassReg]\r\n"
    "HKR,,,0,\042Universal Serial Bus devices\042\r\n"
    "HKR,,Icon,,-20\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%VendorName% = libusbDevice_WinUSB,NTx86,NTamd64,NTarm\r\n"
    "\r\n"
    "[libusbDevice_WinUSB.NTx86]\r\n"
    "%DeviceName% = USB_Install, USB\134%DeviceID%\r\n"
    "\r\n"
    "[libusbDevice_WinUSB.NTamd64]\r\n"
    "%DeviceName% = USB_Install, USB\134%DeviceID%\r\n"
    "\r\n"
    "[libusbDevice_WinUSB.NTarm]\r\n"
    "%DeviceName% = USB_Install, USB\134%DeviceID%\r\n"
    "\r\n"
    "[USB_Install]\r\n"
    "Include = winusb.inf\r\n"
    "Needs   = WINUSB.NT\r\n"
    "\r\n"
    "[USB_Install.Services]\r\n"
    "Include    = winusb.inf\r\n"
    "AddService = WinUSB,0x00000002,WinUSB_ServiceInstall\r\n"
    "\r\n"
    "[WinUSB_ServiceInstall]\r\n"
    "DisplayName   = \042WinUSB - Kernel Driver #DRIVER_DATE# #DRIVER_VERSION#\042\r\n"
    "ServiceType   = 1\r\n"
    "StartType     = 3\r\n"
    "ErrorControl  = 1\r\n"
    "ServiceBinary = %12%\134WinUSB.sys\r\n"
    "\r\n"
    "[USB_Install.Wdf]\r\n"
    "KmdfService = WINUSB, WinUsb_Install\r\n"
    "\r\n"
    "[WinUSB_Install]\r\n"
    "KmdfLibraryVersion = #KMDF_VERSION#\r\n"
    "\r\n"
    "[USB_Install.HW]\r\n"
    "AddReg = #USE_DEVICE_INTERFACE_GUID#\r\n"
    "\r\n"
    "[NoDeviceInterfaceGUID]\r\n"
    "; Avoids adding a DeviceInterfaceGUID for generic driver\r\n"
    "\r\n"
    "[AddDeviceInterfaceGUID]\r\n"
    "HKR,,DeviceInterfaceGUIDs,0x10000,%DeviceGUID%\r\n"
    "\r\n"
    "[USB_Install.CoInstallers]\r\n"
    "AddReg    = CoInstallers_AddReg\r\n"
    "CopyFiles = CoInstallers_CopyFiles\r\n"
    "\r\n"
    "[CoInstallers_AddReg]\r\n"
    "HKR,,CoInstallers32,0x00010000,\042WdfCoInstaller#WDF_VERSION#.dll,WdfCoInstaller\042,\042WinUSBCoInstaller2.dll\042\r\n"
    "\r\n"
    "[CoInstallers_CopyFiles]\r\n"
    "WinUSBCoInstaller2.dll\r\n"
    "WdfCoInstaller#WDF_VERSION#.dll\r\n"
    "\r\n"
    "[DestinationDirs]\r\n"
    "CoInstallers_CopyFiles = 11\r\n"
    "\r\n"
    "[SourceDisksNames]\r\n"
    "1 = %SourceName%\r\n"
    "\r\n"
    "[SourceDisksFiles.x86]\r\n"
    "WinUSBCoInstaller2.dll = 1,x86\r\n"
    "WdfCoInstaller#WDF_VERSION#.dll = 1,x86\r\n"
    "\r\n"
    "[SourceDisksFiles.amd64]\r\n"
    "WinUSBCoInstaller2.dll = 1,amd64\r\n"
    "WdfCoInstaller#WDF_VERSION#.dll = 1,amd64\r\n"
    "\r\n"
    "[SourceDisksFiles.arm]\r\n"
    "WinUSBCoInstaller2.dll = 1,arm\r\n"
    "WdfCoInstaller#WDF_VERSION#.dll = 1,arm\r\n"
    "";
const char template_1[] =
    "; #INF_FILENAME#\r\n"
    "[Strings]\r\n"
    "DeviceName = \042#DEVICE_DESCRIPTION#\042\r\n"
    "VendorName = \042#DEVICE_MANUFACTURER#\042\r\n"
    "DeviceID   = \042#DEVICE_HARDWARE_ID#\042\r\n"
    "DeviceGUID = \042#DEVICE_INTERFACE_GUID#\042\r\n"
    "[Version]\r\n"
    "CatalogFile = #CAT_FILENAME#\r\n"
    "DriverVer   = #DRIVER_DATE#, #DRIVER_VERSION#\r\n"
    "[SourceDisksFiles.x86]\r\n"
    "#LK_X86_DLL# #LK_EQ_X86#\r\n"
    "[SourceDisksFiles.amd64]\r\n"
    "#LK_DLL#     #LK_EQ_X64#\r\n"
    "#LK_X86_DLL# #LK_EQ_X86#\r\n"
    "[libusb_files_dll_x86]\r\n"
    "libusb0.dll, libusb0_x86.dll #LK_COMMA# #LK_DLL# #LK_COMMA# #LK_X86_DLL#\r\n"
    "";
const char template_2[] =
    "\357\273\277; #INF_FILENAME#\r\n"
    "; #DEVICE_DESCRIPTION#\r\n"
    "[Strings]\r\n"
    "DeviceName = \042#DEVICE_DESCRIPTION#\042\r\n"
    "VendorName = \042#DEVICE_MANUFACTURER#\042\r\n"
    "DeviceID   = \042#DEVICE_HARDWARE_ID#\042\r\n"
    "DeviceGUID = \042#DEVICE_INTERFACE_GUID#\042\r\n"
    "[Version]\r\n"
    "CatalogFile = #CAT_FILENAME#\r\n"
    "DriverVer   = #DRIVER_DATE#, #DRIVER_VERSION#\r\n"
    "[LUsbK_Device.NT.HW]\r\n"
    "AddReg=#USE_DEVICE_INTERFACE_GUID#\r\n"
    "[LUsbK_wdfsect]\r\n"
    "KmdfLibraryVersion=#KMDF_VERSION#\r\n"
    "";
const char template_3[] =
    "; #INF_FILENAME#\r\n"
    "\r\n"
    "[Strings]\r\n"
    "DeviceName = \042#DEVICE_DESCRIPTION#\042\r\n"
    "VendorName = \042#DEVICE_MANUFACTURER#\042\r\n"
    "SourceName = \042#DEVICE_DESCRIPTION# Install Disk\042\r\n"
    "DeviceID   = \042#DEVICE_HARDWARE_ID#\042\r\n"
    "DeviceGUID = \042#DEVICE_INTERFACE_GUID#\042\r\n"
    "Service    = \042USB COM Port\042\r\n"
    "\r\n"
    "[Version]\r\n"
    "Signature   = \042$Windows NT$\042\r\n"
    "Class       = Ports\r\n"
    "ClassGuid   = {4D36E978-E325-11CE-BFC1-08002BE10318}\r\n"
    "Provider    = \042Velmor\042\r\n"
    "CatalogFile = #CAT_FILENAME#\r\n"
    "DriverVer   = #DRIVER_DATE#, 1.0.0.0\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%VendorName% = DeviceList,NTx86,NTamd64,NTarm\r\n"
    "\r\n"
    "[DeviceList.NTx86]\r\n"
    "%DeviceName% = UsbSer_Install, USB\134%DeviceID%\r\n"
    "\r\n"
    "[DeviceList.NTamd64]\r\n"
    "%DeviceName% = UsbSer_Install, USB\134%DeviceID%\r\n"
    "\r\n"
    "[DeviceList.NTarm]\r\n"
    "%DeviceName% = UsbSer_Install, USB\134%DeviceID%\r\n"
    "\r\n"
    "[UsbSer_Install]\r\n"
    "include     = mdmcpq.inf\r\n"
    "CopyFiles   = FakeModemCopyFileSection ; defined in mdmcpq.inf\r\n"
    "AddReg      = UsbSer_Install.AddReg\r\n"
    "AddProperty = UsbSer_AddProperty\r\n"
    "\r\n"
    "[UsbSer_Install.AddReg]\r\n"
    "HKR,,DevLoader,,*ntkern\r\n"
    "HKR,,NTMPDriver,,usbser.sys\r\n"
    "HKR,,EnumPropPages32,,\042MsPorts.dll,SerialPortPropPageProvider\042\r\n"
    "\r\n"
    "[UsbSer_Install.Services]\r\n"
    "AddService = usbser,0x00000002,UsbSer_Service\r\n"
    "\r\n"
    "[UsbSer_Service]\r\n"
    "DisplayName   = %Service%\r\n"
    "ServiceType   = 1\r\n"
    "StartType     = 3\r\n"
    "ErrorControl  = 1\r\n"
    "ServiceBinary = %12%\134usbser.sys\r\n"
    "\r\n"
    "[UsbSer_AddProperty]\r\n"
    "GenericDriverInstalled,,,,1\r\n"
    "\r\n"
    "[DestinationDirs]\r\n"
    "DefaultDestDir = 12\r\n"
    "\r\n"
    "[SourceDisksNames]\r\n"
    "1 = %SourceName%\r\n"
    "\r\n"
    "[SourceDisksFiles]\r\n"
    "";
const char template_4[] =
    "# List of the binaries referenced by the WinUSB inf\r\n"
    "# These are used to generate and self-sign a .cat file\r\n"
    "\r\n"
    "WdfCoInstaller#WDF_VERSION#.dll\r\n"
    "winusbcoinstaller2.dll";
const char template_5[] =
    "# List of the binaries referenced by the libusb-win32 inf\r\n"
    "# These are used to generate and self-sign a .cat file\r\n"
    "\r\n"
    "libusb0.sys\r\n"
    "libusb0.dll\r\n"
    "libusb0_x86.dll\r\n"
    "#LK_DLL#\r\n"
    "#LK_X86_DLL#";
const char template_6[] =
    "# List of the binaries referenced by the libusbK inf\r\n"
    "# These are used to generate and self-sign a .cat file\r\n"
    "\r\n"
    "WdfCoInstaller#WDF_VERSION#.dll\r\n"
    "libusbk.sys\r\n"
    "libusbk.dll\r\n"
    "libusbk_x86.dll\r\n"
    "libusb0.dll\r\n"
    "libusb0_x86.dll";
const char template_7[] =
    "# The USB CDC Serial driver doesn't need extra binaries\r\n"
    "";
}  // namespace

const struct payload_entry payload_table[PAYLOAD_ENTRY_COUNT] = {
    {"x86", "WdfCoInstaller01011.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"x86", "winusbcoinstaller2.dll", sizeof(stand_in_bytes) - 1, 1606897730, stand_in_bytes},
    {"amd64", "WdfCoInstaller01011.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "winusbcoinstaller2.dll", sizeof(stand_in_bytes) - 1, 1606897730, stand_in_bytes},
    {"x86", "libusb0_x86.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"x86", "install-filter.exe", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"x86", "libusb0.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "libusb0_x86.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"x86", "libusb0.sys", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "libusb0.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "libusb0.sys", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "install-filter.exe", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"license\\libusb0", "installer_license.txt", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"x86", "libusbK.sys", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"x86", "libusbK.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "libusbK_x86.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "libusbK.sys", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"amd64", "libusbK.dll", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {".", "installer_x86.exe", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {".", "installer_x64.exe", sizeof(stand_in_bytes) - 1, 1606898000, stand_in_bytes},
    {"", "winusb.inf.in", sizeof(template_0) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_0)},
    {"", "libusb0.inf.in", sizeof(template_1) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_1)},
    {"", "libusbk.inf.in", sizeof(template_2) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_2)},
    {"", "usbser.inf.in", sizeof(template_3) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_3)},
    {"", "winusb.cat.in", sizeof(template_4) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_4)},
    {"", "libusb0.cat.in", sizeof(template_5) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_5)},
    {"", "libusbk.cat.in", sizeof(template_6) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_6)},
    {"", "usbser.cat.in", sizeof(template_7) - 1, 1524727650, reinterpret_cast<const uint8_t*>(template_7)},
};

VS_FIXEDFILEINFO driver_version_table[4];

extern "C" BOOL init_dlls(void) { return TRUE; }

extern "C" int check_dir(const char* dir) {
  DWORD attributes = file_attributes_utf8(dir);
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : WDI_ST_DENIED;
  int r = create_directory_utf8(dir, nullptr);
  return r == ERROR_SUCCESS || r == ERROR_ALREADY_EXISTS ? 0 : WDI_ST_DENIED;
}

extern "C" FILE* fcreate(const char* path, const char* mode) {
  velmor::unique_malloc<wchar_t> wide(utf8_to_utf16(path));
  if (!wide || std::strchr(mode, 'w') == nullptr) return nullptr;
  HANDLE h = ::CreateFileW(wide.get(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(h);
    return nullptr;
  }
  FILE* f = ::_fdopen(fd, "wb");
  if (f == nullptr) ::_close(fd);
  return f;
}

extern "C" int extract_binaries(const char* dir) {
  for (const payload_entry& e : payload_table) {
    if (e.subdir[0] == '\0') continue;
    char path[MAX_PATH];
    std::snprintf(path, sizeof(path), "%s\\%s", dir, e.subdir);
    if (check_dir(path) != 0) return WDI_ST_DENIED;
    std::snprintf(path, sizeof(path), "%s\\%s\\%s", dir, e.subdir, e.file_name);
    FILE* f = fcreate(path, "w");
    if (f == nullptr) return WDI_ST_NO_RESOURCE;
    std::fwrite(e.data, 1, e.size, f);
    std::fclose(f);
  }
  return 0;
}

// The stand-in files carry no version resource, like a payload file whose version cannot be read.
extern "C" int get_version_info(int kind, VS_FIXEDFILEINFO* out) {
  if (kind < 0 || kind > 3 || out == nullptr) return WDI_ST_BAD_PARAMETER;
  return WDI_ST_NO_RESOURCE;
}

// Catalog stand-ins: record their arguments, write nothing.
struct pending_catalog_record pending_catalog;

extern "C" int CreateCat(const char* cat_path, const char* hw_id, const char* folder, const char** members,
                         DWORD count) {
  pending_catalog_record& r = pending_catalog;
  ++r.create_calls;
  std::snprintf(r.cat_path, sizeof(r.cat_path), "%s", cat_path);
  std::snprintf(r.hw_id, sizeof(r.hw_id), "%s", hw_id);
  std::snprintf(r.folder, sizeof(r.folder), "%s", folder);
  r.count = count;
  for (DWORD i = 0; i < count && i < 17; ++i) std::snprintf(r.members[i], sizeof(r.members[i]), "%s", members[i]);
  return r.fail_create ? FALSE : TRUE;
}

extern "C" int SelfSignFile(const char* path, const char* subject) {
  pending_catalog_record& r = pending_catalog;
  ++r.sign_calls;
  std::snprintf(r.signed_path, sizeof(r.signed_path), "%s", path);
  std::snprintf(r.subject, sizeof(r.subject), "%s", subject);
  return r.fail_sign ? FALSE : TRUE;
}
