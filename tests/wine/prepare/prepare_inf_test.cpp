// The INF files a preparation writes, byte for byte.
#include <cstring>
#include <regex>

#include "engine/status.h"
#include "payload/payload_table.h"
#include "prepare_test_util.h"

using namespace prepare_test;

namespace {

std::string expected_file(const char* name) { return std::string(PREPARE_EXPECTED_DIR) + "/" + name; }

std::string date_text(const SYSTEMTIME& t) {
  char s[16];
  std::snprintf(s, sizeof(s), "%02d/%02d/%04d", t.wMonth, t.wDay, t.wYear);
  return s;
}

std::string today() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return date_text(now);
}

// Version and date the WinUSB INF must carry: those of the extracted 32-bit co-installer and its
// payload timestamp, or 0.0.0.0 and today when the file has no version resource.
void winusb_version_and_date(const std::string& dir, std::string* version, std::string* date) {
  *version = "0.0.0.0";
  *date = today();
  std::string file = dir + "\\x86\\winusbcoinstaller2.dll";
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &handle);
  if (size == 0) return;
  std::vector<char> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, info.data()) ||
      !::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &len)) {
    return;
  }
  *version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
             "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
  for (const payload_entry& e : payload_table) {
    if (std::strcmp(e.subdir, "x86") == 0 && std::strcmp(e.file_name, "winusbcoinstaller2.dll") == 0) {
      ULARGE_INTEGER t;
      t.QuadPart = (static_cast<uint64_t>(e.timestamp) + 11644473600ULL) * 10000000ULL;
      FILETIME utc = {t.LowPart, t.HighPart}, local;
      SYSTEMTIME st;
      ::FileTimeToLocalFileTime(&utc, &local);
      ::FileTimeToSystemTime(&local, &st);
      *date = date_text(st);
    }
  }
}

// The GUID on the INF's DeviceGUID line, which must have the registry form.
std::string device_guid_of(const std::string& inf_bytes) {
  std::string text = utf16_bytes_to_utf8(inf_bytes);
  std::smatch m;
  static const std::regex line("DeviceGUID = \"(\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\})\"");
  if (!std::regex_search(text, m, line)) return "<no GUID line>";
  return m[1];
}

// The expected file with its placeholders filled, still as UTF-16LE bytes.
std::string expected_inf(const char* name, const std::string& guid, const std::string& date, const std::string& version) {
  std::string bytes = read_file(expected_file(name));
  EXPECT_GT(bytes.size(), 100u) << name;
  replace_all(bytes, utf8_to_utf16_bytes("@GUID@"), utf8_to_utf16_bytes(guid));
  replace_all(bytes, utf8_to_utf16_bytes("@DRIVER_DATE@"), utf8_to_utf16_bytes(date));
  replace_all(bytes, utf8_to_utf16_bytes("@DRIVER_VERSION@"), utf8_to_utf16_bytes(version));
  return bytes;
}

std::string inf_text(const scratch_dir& dir, const char* name) { return utf16_bytes_to_utf8(read_file(dir.file(name))); }

}  // namespace

TEST(PreparedInf, CdcForTheUsartInterfaceIsByteExact) {
  scratch_dir dir;
  device usart(0x2E3C, 0xF000, 0, "Korvex-USART");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  ASSERT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "Korvex-USART.inf", &o), WDI_ST_OK);
  std::string actual = read_file(dir.file("Korvex-USART.inf"));
  ASSERT_EQ(actual.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(actual, expected_inf("Korvex-USART.inf", device_guid_of(actual), today(), ""));
}

TEST(PreparedInf, WinUsbForInterfaceThreeIsByteExact) {
  scratch_dir dir;
  device winusb(0x2E3C, 0xF000, 3, "Korvex-WinUSB");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_WINUSB);
  ASSERT_EQ(wdi_prepare_driver(winusb.get(), dir.path().c_str(), "Korvex-WinUSB.inf", &o), WDI_ST_OK);
  std::string version, date;
  winusb_version_and_date(dir.path(), &version, &date);
  EXPECT_EQ(version, "6.1.7600.16385");  // the co-installer this payload carries
  EXPECT_NE(date, today());
  std::string actual = read_file(dir.file("Korvex-WinUSB.inf"));
  EXPECT_EQ(actual, expected_inf("Korvex-WinUSB.inf", device_guid_of(actual), date, version));
}

TEST(PreparedInf, WinUsbWithTheGenericCompatibleIdIsByteExact) {
  scratch_dir dir;
  device winusb(0x2E3C, 0xF000, 3, "Korvex-WinUSB");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_WINUSB);
  o.generic_compatible_id = 1;
  ASSERT_EQ(wdi_prepare_driver(winusb.get(), dir.path().c_str(), "Korvex-WinUSB.inf", &o), WDI_ST_OK);
  std::string version, date;
  winusb_version_and_date(dir.path(), &version, &date);
  EXPECT_EQ(read_file(dir.file("Korvex-WinUSB.inf")), expected_inf("Korvex-WinUSB-generic.inf", "", date, version));
}

TEST(PreparedInf, LibusbKCarriesTheTemplatesByteOrderMarkAfterItsOwn) {
  scratch_dir dir;
  device d(0x2E3C, 0xF000, 3, "Korvex-WinUSB");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_LIBUSBK);
  ASSERT_EQ(wdi_prepare_driver(d.get(), dir.path().c_str(), "k.inf", &o), WDI_ST_OK);
  EXPECT_EQ(read_file(dir.file("k.inf")).substr(0, 4), "\xFF\xFE\xFF\xFE");
}

TEST(PreparedInf, Libusb0ListsTheLibusbKDlls) {
  scratch_dir dir;
  device d(0x2E3C, 0xF000, 3, "Korvex-WinUSB");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_LIBUSB0);
  log_capture log;
  ASSERT_EQ(wdi_prepare_driver(d.get(), dir.path().c_str(), "l.inf", &o), WDI_ST_OK);
  EXPECT_TRUE(log.has("K driver available - adding the libusbK DLLs to the libusb-win32 inf"));
  std::string text = inf_text(dir, "l.inf");
  EXPECT_NE(text.find("libusb0.dll, libusb0_x86.dll , libusbk.dll , libusbk_x86.dll"), std::string::npos);
  EXPECT_NE(text.find("libusbk_x86.dll = 1,x86"), std::string::npos);
  EXPECT_EQ(text.find("#LK_"), std::string::npos);
}

TEST(PreparedInf, WholeDeviceAndVendorNamesFromTheList) {
  scratch_dir dir;
  device whole(0x1D6B, 0x0104, -1, "Multifunction Composite Gadget");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  ASSERT_EQ(wdi_prepare_driver(whole.get(), dir.path().c_str(), "g.inf", &o), WDI_ST_OK);
  std::string text = inf_text(dir, "g.inf");
  EXPECT_NE(text.find("DeviceID   = \"VID_1D6B&PID_0104\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("VendorName = \"Linux Foundation\"\r\n"), std::string::npos);

  o.manufacturer = "Velmor";
  ASSERT_EQ(wdi_prepare_driver(whole.get(), dir.path().c_str(), "g.inf", &o), WDI_ST_OK);
  EXPECT_NE(inf_text(dir, "g.inf").find("VendorName = \"Velmor\"\r\n"), std::string::npos);
}

TEST(PreparedInf, EmptyManufacturerLeavesNoTokenBehind) {
  scratch_dir dir;
  device usart(0x2E3C, 0xF000, 0, "Korvex-USART");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  o.manufacturer = "";
  ASSERT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "e.inf", &o), WDI_ST_OK);
  std::string text = inf_text(dir, "e.inf");
  EXPECT_NE(text.find("VendorName = \"\"\r\n"), std::string::npos);
  EXPECT_EQ(text.find('#', 3), std::string::npos) << text;  // the first line is "; e.inf"
}

TEST(PreparedInf, AndroidDevicesGetTheAndroidGuidOthersAFreshOneEachTime) {
  scratch_dir dir;
  device phone(0x18D1, 0x4EE2, -1, "Nexus");
  {
    log_capture log;
    ASSERT_EQ(wdi_prepare_driver(phone.get(), dir.path().c_str(), "a.inf", nullptr), WDI_ST_OK);
    EXPECT_TRUE(log.has("Velmor:info [wdi_prepare_driver] using Android Device Interface GUID\n"));
  }
  EXPECT_NE(inf_text(dir, "a.inf").find("DeviceGUID = \"{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}\""), std::string::npos);

  device usart(0x2E3C, 0xF000, 0, "Korvex-USART");
  wdi_prepare_options o = without_catalog(DRIVER_KIND_CDC);
  ASSERT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "1.inf", &o), WDI_ST_OK);
  ASSERT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "2.inf", &o), WDI_ST_OK);
  std::string first = device_guid_of(read_file(dir.file("1.inf")));
  std::string second = device_guid_of(read_file(dir.file("2.inf")));
  EXPECT_EQ(first.size(), 38u) << first;
  EXPECT_NE(first, second);

  o.interface_guid = "{00000000-1111-2222-3333-444444444444}";
  ASSERT_EQ(wdi_prepare_driver(usart.get(), dir.path().c_str(), "3.inf", &o), WDI_ST_OK);
  EXPECT_EQ(device_guid_of(read_file(dir.file("3.inf"))), o.interface_guid);
}
