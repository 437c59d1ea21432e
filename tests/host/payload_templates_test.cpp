// The INF and catalog-list templates the payload carries, byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/package/driver_ver.h"

namespace {

std::string template_text(const std::string& name) {
  std::ifstream in(std::string(VELMOR_SOURCE_DIR) + "payload/templates/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Every line ends with CR LF; no lone CR or LF.
bool only_crlf(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
  }
  return true;
}

// The position of each needle, searched in order after the previous one; npos when missing.
void expect_in_order(const std::string& text, const std::vector<std::string>& needles) {
  size_t at = 0;
  for (const std::string& n : needles) {
    size_t found = text.find(n, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << n;
    at = found + n.size();
  }
}

const char* const kWinUsbInf = R"(; #INF_FILENAME#
[Strings]
DeviceName = "#DEVICE_DESCRIPTION#"
VendorName = "#DEVICE_MANUFACTURER#"
SourceName = "#DEVICE_DESCRIPTION# Install Disk"
DeviceID   = "#DEVICE_HARDWARE_ID#"
DeviceGUID = "#DEVICE_INTERFACE_GUID#"

[Version]
Signature   = "$Windows NT$"
Class       = "USBDevice"
ClassGuid   = {88bae032-5a81-49f0-bc3d-a4ff138216d6}
Provider    = "Velmor"
CatalogFile = #CAT_FILENAME#
DriverVer   = #DRIVER_DATE#, #DRIVER_VERSION#

[ClassInstall32]
Addreg = WinUSBDeviceClassReg

[WinUSBDeviceClassReg]
HKR,,,0,"Universal Serial Bus devices"
HKR,,Icon,,-20

[Manufacturer]
%VendorName% = libusbDevice_WinUSB,NTx86,NTamd64,NTarm

[libusbDevice_WinUSB.NTx86]
%DeviceName% = USB_Install, USB\%DeviceID%

[libusbDevice_WinUSB.NTamd64]
%DeviceName% = USB_Install, USB\%DeviceID%

[libusbDevice_WinUSB.NTarm]
%DeviceName% = USB_Install, USB\%DeviceID%

[USB_Install]
Include = winusb.inf
Needs   = WINUSB.NT

[USB_Install.Services]
Include    = winusb.inf
AddService = WinUSB,0x00000002,WinUSB_ServiceInstall

[WinUSB_ServiceInstall]
DisplayName   = "WinUSB - Kernel Driver #DRIVER_DATE# #DRIVER_VERSION#"
ServiceType   = 1
StartType     = 3
ErrorControl  = 1
ServiceBinary = %12%\WinUSB.sys

[USB_Install.Wdf]
KmdfService = WINUSB, WinUsb_Install

[WinUSB_Install]
KmdfLibraryVersion = #KMDF_VERSION#

[USB_Install.HW]
AddReg = #USE_DEVICE_INTERFACE_GUID#

[NoDeviceInterfaceGUID]
; Avoids adding a DeviceInterfaceGUID for generic driver

[AddDeviceInterfaceGUID]
HKR,,DeviceInterfaceGUIDs,0x10000,%DeviceGUID%

[USB_Install.CoInstallers]
AddReg    = CoInstallers_AddReg
CopyFiles = CoInstallers_CopyFiles

[CoInstallers_AddReg]
HKR,,CoInstallers32,0x00010000,"WdfCoInstaller#WDF_VERSION#.dll,WdfCoInstaller","WinUSBCoInstaller2.dll"

[CoInstallers_CopyFiles]
WinUSBCoInstaller2.dll
WdfCoInstaller#WDF_VERSION#.dll

[DestinationDirs]
CoInstallers_CopyFiles = 11

[SourceDisksNames]
1 = %SourceName%

[SourceDisksFiles.x86]
WinUSBCoInstaller2.dll = 1,x86
WdfCoInstaller#WDF_VERSION#.dll = 1,x86

[SourceDisksFiles.amd64]
WinUSBCoInstaller2.dll = 1,amd64
WdfCoInstaller#WDF_VERSION#.dll = 1,amd64

[SourceDisksFiles.arm]
WinUSBCoInstaller2.dll = 1,arm
WdfCoInstaller#WDF_VERSION#.dll = 1,arm
)";

const char* const kUsbSerInf = R"(; #INF_FILENAME#

[Strings]
DeviceName = "#DEVICE_DESCRIPTION#"
VendorName = "#DEVICE_MANUFACTURER#"
SourceName = "#DEVICE_DESCRIPTION# Install Disk"
DeviceID   = "#DEVICE_HARDWARE_ID#"
DeviceGUID = "#DEVICE_INTERFACE_GUID#"
Service    = "USB COM Port"

[Version]
Signature   = "$Windows NT$"
Class       = Ports
ClassGuid   = {4D36E978-E325-11CE-BFC1-08002BE10318}
Provider    = "Velmor"
CatalogFile = #CAT_FILENAME#
DriverVer   = #DRIVER_DATE#, 1.0.0.0

[Manufacturer]
%VendorName% = DeviceList,NTx86,NTamd64,NTarm

[DeviceList.NTx86]
%DeviceName% = UsbSer_Install, USB\%DeviceID%

[DeviceList.NTamd64]
%DeviceName% = UsbSer_Install, USB\%DeviceID%

[DeviceList.NTarm]
%DeviceName% = UsbSer_Install, USB\%DeviceID%

[UsbSer_Install]
include     = mdmcpq.inf
CopyFiles   = FakeModemCopyFileSection ; defined in mdmcpq.inf
AddReg      = UsbSer_Install.AddReg
AddProperty = UsbSer_AddProperty

[UsbSer_Install.AddReg]
HKR,,DevLoader,,*ntkern
HKR,,NTMPDriver,,usbser.sys
HKR,,EnumPropPages32,,"MsPorts.dll,SerialPortPropPageProvider"

[UsbSer_Install.Services]
AddService = usbser,0x00000002,UsbSer_Service

[UsbSer_Service]
DisplayName   = %Service%
ServiceType   = 1
StartType     = 3
ErrorControl  = 1
ServiceBinary = %12%\usbser.sys

[UsbSer_AddProperty]
GenericDriverInstalled,,,,1

[DestinationDirs]
DefaultDestDir = 12

[SourceDisksNames]
1 = %SourceName%

[SourceDisksFiles]
)";

const char* const kHeader = "# These are used to generate and self-sign a .cat file\r\n\r\n";

}  // namespace

TEST(PayloadTemplates, ListedInfTemplatesMatchByteForByte) {
  EXPECT_EQ(template_text("winusb.inf.in"), crlf(kWinUsbInf));
  std::string usbser = template_text("usbser.inf.in");
  EXPECT_EQ(usbser, crlf(kUsbSerInf));
  EXPECT_EQ(usbser.substr(usbser.size() - 20), "[SourceDisksFiles]\r\n");  // nothing after the last line
}

TEST(PayloadTemplates, CatalogListsMatchByteForByte) {
  EXPECT_EQ(template_text("winusb.cat.in"), std::string("# List of the binaries referenced by the WinUSB inf\r\n") +
                                                kHeader + "WdfCoInstaller#WDF_VERSION#.dll\r\nwinusbcoinstaller2.dll");
  EXPECT_EQ(template_text("libusb0.cat.in"),
            std::string("# List of the binaries referenced by the libusb-win32 inf\r\n") + kHeader +
                "libusb0.sys\r\nlibusb0.dll\r\nlibusb0_x86.dll\r\n#LK_DLL#\r\n#LK_X86_DLL#");
  EXPECT_EQ(template_text("libusbk.cat.in"),
            std::string("# List of the binaries referenced by the libusbK inf\r\n") + kHeader +
                "WdfCoInstaller#WDF_VERSION#.dll\r\nlibusbk.sys\r\nlibusbk.dll\r\nlibusbk_x86.dll\r\nlibusb0.dll\r\n"
                "libusb0_x86.dll");
  EXPECT_EQ(template_text("usbser.cat.in"), "# The USB CDC Serial driver doesn't need extra binaries\r\n");
  EXPECT_EQ(template_text("winusb.cat.in").size(), 166u);
  EXPECT_EQ(template_text("libusb0.cat.in").size(), 182u);
  EXPECT_EQ(template_text("libusbk.cat.in").size(), 216u);
  EXPECT_EQ(template_text("usbser.cat.in").size(), 57u);
}

TEST(PayloadTemplates, EveryTemplateUsesCrlfOnly) {
  for (const char* name : {"winusb.inf.in", "libusb0.inf.in", "libusbk.inf.in", "usbser.inf.in", "winusb.cat.in",
                           "libusb0.cat.in", "libusbk.cat.in", "usbser.cat.in"}) {
    std::string text = template_text(name);
    EXPECT_FALSE(text.empty()) << name;
    EXPECT_TRUE(only_crlf(text)) << name;
  }
}

TEST(PayloadTemplates, OnlyTheLibusbKTemplateStartsWithAByteOrderMark) {
  EXPECT_EQ(template_text("libusbk.inf.in").substr(0, 5), "\xEF\xBB\xBF; ");
  for (const char* name : {"winusb.inf.in", "libusb0.inf.in", "usbser.inf.in"})
    EXPECT_EQ(template_text(name).substr(0, 2), "; ") << name;
}

TEST(PayloadTemplates, Libusb0TemplateFollowsItsOutline) {
  std::string t = template_text("libusb0.inf.in");
  expect_in_order(t, {"; #INF_FILENAME#\r\n", "[Strings]", "\"#DEVICE_DESCRIPTION#\"", "\"#DEVICE_MANUFACTURER#\"",
                      "\"#DEVICE_HARDWARE_ID#\"", "\"#DEVICE_INTERFACE_GUID#\"", "[Version]",
                      "\"libusb-win32 devices\"", "{EB781AAF-9C70-4523-A5DF-642A87ECA567}", "\"libusb-win32\"",
                      "#CAT_FILENAME#", "#DRIVER_DATE#, #DRIVER_VERSION#", "[ClassInstall32]",
                      "[libusb_class_install_add_reg]", "[Manufacturer]", "NT, NTAMD64, NTIA64",
                      "[SourceDisksNames]", "[SourceDisksFiles.x86]", "\r\n#LK_X86_DLL# #LK_EQ_X86#\r\n",
                      "[SourceDisksFiles.amd64]", "\r\n#LK_DLL#     #LK_EQ_X64#\r\n",
                      "#LK_X86_DLL# #LK_EQ_X86#\r\n", "[SourceDisksFiles.ia64]", "[DestinationDirs]",
                      "system32\\drivers", "[libusb_files_sys]", "[libusb_files_dll]", "\r\n#LK_DLL#\r\n",
                      "[libusb_files_dll_x86]",
                      "\r\nlibusb0.dll, libusb0_x86.dll #LK_COMMA# #LK_DLL# #LK_COMMA# #LK_X86_DLL#\r\n",
                      "[libusb_files_dll_wow64]",
                      "\r\nlibusb0.dll, libusb0_x86.dll #LK_COMMA# #LK_DLL# #LK_COMMA# #LK_X86_DLL#\r\n",
                      "[LIBUSB_WIN32_DEV.NT]", "[LIBUSB_WIN32_DEV.NT.HW]", "[LIBUSB_WIN32_DEV.NT.Services]",
                      "[LIBUSB_WIN32_DEV.NTAMD64]", "[LIBUSB_WIN32_DEV.NTAMD64.HW]",
                      "[LIBUSB_WIN32_DEV.NTAMD64.Services]", "[LIBUSB_WIN32_DEV.NTIA64]",
                      "[LIBUSB_WIN32_DEV.NTIA64.HW]", "[LIBUSB_WIN32_DEV.NTIA64.Services]", "[libusb_del_reg_hw]",
                      "LowerFilters", "UpperFilters", "[libusb_add_reg_hw]", "SurpriseRemovalOK", "DeviceInterfaceGUIDs",
                      "[libusb_add_service]", "\"libusb-win32 - Kernel Driver #DRIVER_DATE# #DRIVER_VERSION#\"",
                      "libusb0.sys", "[Devices]", "USB\\%DeviceID%", "[Devices.NT]", "[Devices.NTAMD64]",
                      "[Devices.NTIA64]", "%DeviceName% = LIBUSB_WIN32_DEV, USB\\%DeviceID%\r\n"});
  EXPECT_NE(t.find("ErrorControl  = 0\r\n"), std::string::npos);
}

TEST(PayloadTemplates, LibusbKTemplateFollowsItsOutline) {
  std::string t = template_text("libusbk.inf.in");
  expect_in_order(t, {"#INF_FILENAME#", "#DEVICE_DESCRIPTION#", "[Strings]", "\"#DEVICE_MANUFACTURER#\"",
                      "\"#DEVICE_HARDWARE_ID#\"", "\"#DEVICE_INTERFACE_GUID#\"", "[Version]", "\"libusbk devices\"",
                      "{ECFB0CFD-74C4-4f52-BBF7-343461CD72AC}", "\"libusbK\"", "#CAT_FILENAME#",
                      "#DRIVER_DATE#, #DRIVER_VERSION#", "[ClassInstall32]", "[LUsbK_Class_AddReg]", "[Manufacturer]",
                      "NTX86, NTAMD64", "[LUsbK_DeviceGroup]", "[LUsbK_DeviceGroup.NTX86]",
                      "[LUsbK_DeviceGroup.NTAMD64]", "[LUsbK_Device.NT.HW]\r\nAddReg=#USE_DEVICE_INTERFACE_GUID#",
                      "[LUsbK_Device.NTAMD64.HW]\r\nAddReg=#USE_DEVICE_INTERFACE_GUID#", "[NoDeviceInterfaceGUID]",
                      "[AddDeviceInterfaceGUID]", "[LUsbK_AddService]",
                      "\"libusbK USB Driver #DRIVER_DATE# - #DRIVER_VERSION#\"", "[LUsbK_Driver_AddReg]",
                      "DebugLevel\",0x10001,4", "[SourceDisksNames]", "[SourceDisksFiles.x86]",
                      "[SourceDisksFiles.amd64]", "[DestinationDirs]", "[libusb_files_sys]", "[libusb_files_dll]",
                      "[libusb_files_dll_syswow64]", "[LUsbK_Device.NT]", "[LUsbK_Device.NTAMD64]",
                      "WdfCoInstaller#WDF_VERSION#.dll", "[LUsbK_Device.NT.Wdf]", "[LUsbK_Device.NTAMD64.Wdf]",
                      "[LUsbK_wdfsect]\r\nKmdfLibraryVersion=#KMDF_VERSION#\r\n"});
}

// The version /install compares an installed driver of ours with: the serial template's fixed
// one, the others' from the payload file; read as the device installer reads [Version].
TEST(PayloadTemplates, DriverVersionIsWhatThePackageDeclares) {
  const uint64_t token = (6ull << 48) | (1ull << 32) | (7600ull << 16) | 16385;
  const std::string usbser = template_text("usbser.inf.in");
  EXPECT_EQ(1ull << 48, template_driver_version(usbser.data(), usbser.size(), token));
  const std::string winusb = template_text("winusb.inf.in");
  EXPECT_EQ(token, template_driver_version(winusb.data(), winusb.size(), token));
  auto version_of = [](const std::string& text) { return template_driver_version(text.data(), text.size(), 7); };
  EXPECT_EQ((2ull << 48) | (5ull << 32) | 17, version_of("[version]\r\n  driverver = 01/02/2026 ,  2.5.0.17 ; note\r\n"));
  EXPECT_EQ(3ull << 48, version_of("[Version]\nDriverVer=01/02/2026,3\n"));
  EXPECT_EQ(0u, version_of("[Strings]\nDriverVer=01/02/2026,3.0.0.0\n")) << "only [Version] counts";
  EXPECT_EQ(0u, version_of("[Version]\n;DriverVer=01/02/2026,3.0.0.0\n"));
  for (const char* bad : {"1.2.3.4.5", "1..2", "65536.0.0.0", "x", ""}) {
    EXPECT_EQ(0u, version_of(std::string("[Version]\nDriverVer=01/02/2026,") + bad + "\n")) << bad;
  }
  EXPECT_EQ(0u, template_driver_version(nullptr, 0, 7));
}
