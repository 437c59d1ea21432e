// The resources of the application exe, read from the file itself: dialog templates exactly as
// built (the windows that controls make of them may drop or trade styles), icon, strings,
// version block and manifest.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include "gui_driver.h"

namespace {

const WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052

class Resources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module = ::LoadLibraryExA(gui::app_exe_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module) ::FreeLibrary(module);
  }
  void SetUp() override { ASSERT_NE(nullptr, module) << gui::app_exe_path(); }

  // The bytes of a resource in the product's language.
  static std::vector<BYTE> resource(LPCWSTR type, LPCWSTR name) {
    HRSRC r = ::FindResourceExW(module, type, name, kChinesePrc);
    if (!r) return {};
    const BYTE* p = static_cast<const BYTE*>(::LockResource(::LoadResource(module, r)));
    return std::vector<BYTE>(p, p + ::SizeofResource(module, r));
  }
  static HMODULE module;
};
HMODULE Resources::module = nullptr;

// Reader of an extended dialog template.
struct Reader {
  const BYTE* p;
  WORD word() {
    WORD v = static_cast<WORD>(p[0] | (p[1] << 8));
    p += 2;
    return v;
  }
  DWORD dword() {
    DWORD lo = word();
    return lo | (static_cast<DWORD>(word()) << 16);
  }
  // A string or an ordinal ("#n").
  std::wstring sz_or_ord() {
    if (p[0] == 0xFF && p[1] == 0xFF) {
      p += 2;
      return L"#" + std::to_wstring(word());
    }
    std::wstring s;
    for (WORD c = word(); c != 0; c = word()) s += static_cast<wchar_t>(c);
    return s;
  }
  void align(const BYTE* base) {
    while ((p - base) % 4) ++p;
  }
};

struct Item {
  DWORD ex_style, style;
  short x, y, cx, cy;
  int id;
  std::wstring cls, text;
};
struct Template {
  DWORD ex_style, style;
  short x, y, cx, cy;
  std::wstring caption, font;
  WORD point_size;
  std::vector<Item> items;
};

Template parse(const std::vector<BYTE>& raw) {
  Template t{};
  Reader r{raw.data()};
  EXPECT_EQ(1, r.word());
  EXPECT_EQ(0xFFFF, r.word());
  r.dword();  // help id
  t.ex_style = r.dword();
  t.style = r.dword();
  WORD count = r.word();
  t.x = static_cast<short>(r.word());
  t.y = static_cast<short>(r.word());
  t.cx = static_cast<short>(r.word());
  t.cy = static_cast<short>(r.word());
  r.sz_or_ord();  // menu
  r.sz_or_ord();  // class
  t.caption = r.sz_or_ord();
  if (t.style & DS_SETFONT) {
    t.point_size = r.word();
    r.word();  // weight
    r.word();  // italic, charset
    t.font = r.sz_or_ord();
  }
  for (WORD i = 0; i < count; ++i) {
    r.align(raw.data());
    Item it{};
    r.dword();  // help id
    it.ex_style = r.dword();
    it.style = r.dword();
    it.x = static_cast<short>(r.word());
    it.y = static_cast<short>(r.word());
    it.cx = static_cast<short>(r.word());
    it.cy = static_cast<short>(r.word());
    it.id = static_cast<int>(r.dword());
    it.cls = r.sz_or_ord();
    it.text = r.sz_or_ord();
    WORD extra = r.word();
    r.p += extra;
    t.items.push_back(it);
  }
  return t;
}

const DWORD kBase = WS_CHILD | WS_VISIBLE;
const DWORD kEdit = kBase | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
const DWORD kLabel = kBase | WS_GROUP;
const wchar_t kButton[] = L"BUTTON";
const wchar_t kEditClass[] = L"EDIT";
const wchar_t kStatic[] = L"STATIC";
const wchar_t kCombo[] = L"COMBOBOX";

// A template names a system class by ordinal or by name; both create the same control.
std::wstring class_of(const std::wstring& raw) {
  if (raw == L"#128") return kButton;
  if (raw == L"#129") return kEditClass;
  if (raw == L"#130") return kStatic;
  if (raw == L"#133") return kCombo;
  std::wstring up = raw;
  for (wchar_t& c : up) c = static_cast<wchar_t>(::towupper(c));
  return up;
}

TEST_F(Resources, MainDialogTemplateIsExact) {
  std::vector<BYTE> raw = resource(MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(IDD_VELMOR_DFU_DRIVERINSTALL_DIALOG));
  ASSERT_FALSE(raw.empty());
  Template t = parse(raw);
  EXPECT_EQ(DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT), t.style);
  EXPECT_EQ(DWORD(WS_EX_APPWINDOW), t.ex_style);
  EXPECT_EQ(0, t.x);
  EXPECT_EQ(0, t.y);
  EXPECT_EQ(253, t.cx);
  EXPECT_EQ(157, t.cy);
  EXPECT_EQ(L"Velmor_Korvex_DriverInstall_V2.0.00", t.caption);
  EXPECT_EQ(L"Verdana", t.font);
  EXPECT_EQ(8, t.point_size);
  const Item want[] = {
      {0, kBase | BS_PUSHBUTTON | WS_TABSTOP, 179, 60, 58, 23, IDC_INSTALL, kButton, L"Install driver"},
      {WS_EX_CLIENTEDGE, kBase | CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 10, 20, 226, 62, IDC_PROBE_COMBO, kCombo, L""},
      {0, kEdit, 39, 79, 90, 12, IDC_PID_EDIT, kEditClass, L""},
      {0, kEdit, 39, 62, 90, 12, IDC_VID_EDIT, kEditClass, L""},
      {0, kLabel, 11, 8, 51, 11, IDC_STATIC, kStatic, L"Device Name\uff1a"},
      {0, kLabel, 11, 80, 26, 10, IDC_STATIC, kStatic, L"PID\uff1a"},
      {0, kLabel, 11, 63, 28, 10, IDC_STATIC, kStatic, L"VID\uff1a"},
      {0, kEdit, 39, 95, 90, 12, IDC_UID_EDIT, kEditClass, L""},
      {0, kLabel, 11, 97, 24, 10, IDC_STATIC, kStatic, L"UID\uff1a"},
      {0, kBase | BS_PUSHBUTTON | WS_TABSTOP, 179, 85, 58, 23, IDC_EXTRACT, kButton, L"Extract driver"},
      {0, kLabel, 12, 143, 226, 10, IDC_BRIDGE_STATUS, kStatic, L"C"},
      {0, kLabel, 12, 130, 226, 10, IDC_WINUSB_STATUS, kStatic, L"B"},
      {0, kBase | BS_AUTOCHECKBOX | WS_TABSTOP, 11, 36, 55, 10, IDC_USART_CHECK, kButton, L"Usart driver"},
      {0, kBase | BS_AUTOCHECKBOX | WS_TABSTOP, 134, 36, 59, 10, IDC_BRIDGE_CHECK, kButton, L"Bridge driver"},
      {0, kBase | BS_AUTOCHECKBOX | WS_TABSTOP, 68, 36, 63, 10, IDC_WINUSB_CHECK, kButton, L"WinUSB driver"},
      {0, kLabel, 12, 117, 227, 10, IDC_USART_STATUS, kStatic, L"A"},
      {0, kLabel, 134, 97, 24, 10, IDC_WCID_LABEL, kStatic, L"WCID"},
  };
  ASSERT_EQ(sizeof(want) / sizeof(want[0]), t.items.size());
  for (size_t i = 0; i < t.items.size(); ++i) {
    const Item& g = t.items[i];
    const Item& w = want[i];
    SCOPED_TRACE(testing::Message() << "item " << i << " id " << w.id);
    EXPECT_EQ(w.id, g.id);
    EXPECT_EQ(w.style, g.style);
    EXPECT_EQ(w.ex_style, g.ex_style);
    EXPECT_EQ(w.cls, class_of(g.cls));
    EXPECT_EQ(w.text, g.text);
    EXPECT_EQ(w.x, g.x);
    EXPECT_EQ(w.y, g.y);
    EXPECT_EQ(w.cx, g.cx);
    EXPECT_EQ(w.cy, g.cy);
  }
}

TEST_F(Resources, AboutBoxTemplate) {
  std::vector<BYTE> raw = resource(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(IDD_ABOUTBOX));
  ASSERT_FALSE(raw.empty());
  Template t = parse(raw);
  EXPECT_EQ(DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS), t.style);
  EXPECT_EQ(170, t.cx);
  EXPECT_EQ(62, t.cy);
  EXPECT_EQ(L"\u5173\u4e8e Velmor_VirtualCOM_DriverInstall", t.caption);
  EXPECT_EQ(L"MS Shell Dlg", t.font);
  EXPECT_EQ(9, t.point_size);
  ASSERT_EQ(4u, t.items.size());
  EXPECT_EQ(L"#" + std::to_wstring(IDI_ABOUT_ICON), t.items[0].text);  // the icon control names the About icon
  EXPECT_EQ(DWORD(SS_ICON), t.items[0].style & 0x1F);
  EXPECT_EQ(L"Velmor_VirtualCOM_DriverInstall\uff0c1.0 \u7248", t.items[1].text);
  EXPECT_TRUE(t.items[1].style & SS_NOPREFIX);
  EXPECT_EQ(IDOK, t.items[3].id);
  EXPECT_EQ(L"\u786e\u5b9a", t.items[3].text);
  EXPECT_EQ(DWORD(kBase | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP), t.items[3].style);
  EXPECT_EQ(113, t.items[3].x);
  EXPECT_EQ(41, t.items[3].y);
}

TEST_F(Resources, IconIsOne128PixelImageOf24Bits) {
  std::vector<BYTE> dir = resource(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEW(IDR_MAINFRAME));
  ASSERT_EQ(6u + 14u, dir.size());
  EXPECT_EQ(1, dir[4] | (dir[5] << 8));  // one image
  EXPECT_EQ(128, dir[6]);
  EXPECT_EQ(128, dir[7]);
  EXPECT_EQ(24, dir[6 + 6] | (dir[6 + 7] << 8));
  WORD image_id = static_cast<WORD>(dir[6 + 12] | (dir[6 + 13] << 8));
  std::vector<BYTE> image = resource(MAKEINTRESOURCEW(3) /* RT_ICON */, MAKEINTRESOURCEW(image_id));
  ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
  const BITMAPINFOHEADER* h = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
  EXPECT_EQ(128, h->biWidth);
  EXPECT_EQ(256, h->biHeight);  // image and mask
  EXPECT_EQ(24, h->biBitCount);
  // The system can make icons of it at the sizes it asks for.
  for (int size : {16, 32, 128}) {
    HICON icon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
    EXPECT_NE(nullptr, icon) << size;
    if (icon) ::DestroyIcon(icon);
  }
  EXPECT_NE(nullptr, ::LoadIconW(module, MAKEINTRESOURCEW(IDR_MAINFRAME)));
}

TEST_F(Resources, AboutItemTextAndEmptyDialogLayout) {
  wchar_t text[128] = {};
  ASSERT_GT(::LoadStringW(module, IDS_ABOUTBOX, text, 128), 0);
  EXPECT_EQ(std::wstring(L"\u5173\u4e8e Velmor_VirtualCOM_DriverInstall(&A)..."), text);
  std::vector<BYTE> layout = resource(L"AFX_DIALOG_LAYOUT", MAKEINTRESOURCEW(IDD_VELMOR_DFU_DRIVERINSTALL_DIALOG));
  ASSERT_EQ(2u, layout.size());
  EXPECT_EQ(0, layout[0] | layout[1]);
}

TEST_F(Resources, VersionBlock) {
  const std::string exe = gui::app_exe_path();
  std::wstring path(exe.begin(), exe.end());
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) << wine_test::last_error();
  auto value = [&](const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    wchar_t* v = nullptr;
    UINT len = 0;
    if (!::VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&v), &len) || v == nullptr) return std::wstring();
    return std::wstring(v);
  };
  EXPECT_EQ(L"Velmor_VirtualCOM_DriverInstall", value(L"FileDescription"));
  EXPECT_EQ(L"Velmor_VirtualCOM_DriverInstall", value(L"ProductName"));
  EXPECT_EQ(L"Velmor_VirtualCOM_DriverInstall.exe", value(L"InternalName"));
  EXPECT_EQ(L"Velmor_VirtualCOM_DriverInstall.exe", value(L"OriginalFilename"));
  EXPECT_EQ(L"1.0.3.0", value(L"FileVersion"));
  EXPECT_EQ(L"1.0.3.0", value(L"ProductVersion"));
  EXPECT_EQ(L"Velmor", value(L"CompanyName"));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len)) << wine_test::last_error();
  EXPECT_EQ(MAKELONG(0, 1), static_cast<LONG>(fixed->dwFileVersionMS));
  EXPECT_EQ(MAKELONG(0, 3), static_cast<LONG>(fixed->dwFileVersionLS));
}

TEST_F(Resources, ManifestAsksForAdministratorAndNothingElse) {
  HRSRC r = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
  ASSERT_NE(nullptr, r);
  const char* p = static_cast<const char*>(::LockResource(::LoadResource(module, r)));
  std::string m(p, ::SizeofResource(module, r));
  EXPECT_NE(std::string::npos, m.find("level=\"requireAdministrator\""));
  EXPECT_NE(std::string::npos, m.find("uiAccess=\"false\""));
  EXPECT_NE(std::string::npos, m.find(">true</dpiAware>"));
  EXPECT_EQ(std::string::npos, m.find("dependentAssembly"));
  EXPECT_EQ(std::string::npos, m.find("supportedOS"));
}

}  // namespace
