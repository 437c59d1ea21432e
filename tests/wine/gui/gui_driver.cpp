#include "gui_driver.h"

#include <cstring>

namespace gui {

const wchar_t kMainCaption[] = L"Velmor_Korvex_DriverInstall_V2.0.00";

std::string app_exe_path() {
  char env[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableA("VELMOR_APP_EXE", env, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return env;
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self);
  folder = folder.substr(0, folder.find_last_of("\\/") + 1);
  return folder + "..\\..\\..\\app\\Velmor_VirtualCOM_DriverInstall.exe";
}

App::~App() {
  if (running()) kill();
  if (process) ::CloseHandle(process);
}

bool App::start(const std::string& exe, const std::string& args, DWORD timeout_ms) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string cl = "\"" + exe + "\"";
  if (!args.empty()) cl += " " + args;
  if (!wine_test::start_with_retries([&] {
        return ::CreateProcessA(exe.c_str(), &cl[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
      })) {
    return false;
  }
  ::CloseHandle(pi.hThread);
  process = pi.hProcess;
  pid = pi.dwProcessId;
  dialog = wait_window(kMainCaption, pid, timeout_ms);
  return dialog != nullptr;
}

bool App::running() const { return process && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

long App::wait_exit(DWORD timeout_ms) {
  if (!process) return -1;
  if (::WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  return static_cast<long>(code);
}

long App::close(DWORD timeout_ms) {
  if (dialog) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  return wait_exit(timeout_ms);
}

void App::kill() {
  if (process) {
    ::TerminateProcess(process, 99);
    ::WaitForSingleObject(process, 5000);
  }
}

HWND control(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }
std::wstring control_text(HWND dialog, int id) {
  HWND c = control(dialog, id);
  return c ? window_text(c) : L"";
}
LONG control_style(HWND dialog, int id) { return ::GetWindowLongW(control(dialog, id), GWL_STYLE); }
LONG control_ex_style(HWND dialog, int id) { return ::GetWindowLongW(control(dialog, id), GWL_EXSTYLE); }
bool control_enabled(HWND dialog, int id) { return ::IsWindowEnabled(control(dialog, id)) != FALSE; }
bool control_visible(HWND dialog, int id) { return ::IsWindowVisible(control(dialog, id)) != FALSE; }

RECT rect_in_client(HWND dialog, HWND child) {
  RECT r = {};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
RECT control_rect(HWND dialog, int id) { return rect_in_client(dialog, control(dialog, id)); }

namespace {
INT_PTR CALLBACK plain_proc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// An empty extended dialog template with the main dialog's font, for measuring dialog units.
std::vector<WORD> font_template() {
  std::vector<WORD> t;
  auto dword = [&](DWORD v) {
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
  };
  t.push_back(1);
  t.push_back(0xFFFF);  // extended template
  dword(0);             // help id
  dword(0);             // ex style
  dword(WS_POPUP | DS_SETFONT | DS_MODALFRAME | WS_CAPTION);
  t.push_back(0);  // no controls
  t.insert(t.end(), {0, 0, 100, 100});
  t.push_back(0);  // no menu
  t.push_back(0);  // default class
  t.push_back(0);  // no caption
  t.push_back(8);  // point size
  t.push_back(FW_NORMAL);
  t.push_back(0);  // italic, charset
  for (const wchar_t* p = L"Verdana"; *p; ++p) t.push_back(static_cast<WORD>(*p));
  t.push_back(0);
  return t;
}
}  // namespace

RECT dialog_units_to_pixels(const RECT& dialog_units) {
  std::vector<WORD> t = font_template();
  HWND probe = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                            nullptr, plain_proc, 0);
  RECT r = dialog_units;
  if (probe) {
    ::MapDialogRect(probe, &r);
    ::DestroyWindow(probe);
  }
  return r;
}

std::vector<HWND> child_controls(HWND dialog) {
  std::vector<HWND> out;
  for (HWND c = ::GetWindow(dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

std::vector<std::wstring> combo_rows(HWND dialog, int id) {
  HWND c = control(dialog, id);
  std::vector<std::wstring> rows;
  LRESULT n = ::SendMessageW(c, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT len = ::SendMessageW(c, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (len < 0) len = 0;
    std::wstring row(static_cast<size_t>(len) + 1, L'\0');
    ::SendMessageW(c, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&row[0]));
    row.resize(std::wcslen(row.c_str()));
    rows.push_back(row);
  }
  return rows;
}

int combo_selection(HWND dialog, int id) {
  return static_cast<int>(::SendMessageW(control(dialog, id), CB_GETCURSEL, 0, 0));
}

int check_state(HWND dialog, int id) { return static_cast<int>(::SendMessageW(control(dialog, id), BM_GETCHECK, 0, 0)); }

void click(HWND dialog, int id) { ::PostMessageW(control(dialog, id), BM_CLICK, 0, 0); }

void set_text(HWND dialog, int id, const wchar_t* text) {
  ::SendMessageW(control(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void send_syscommand(HWND window, WPARAM command, LPARAM lp) { ::PostMessageW(window, WM_SYSCOMMAND, command, lp); }

std::wstring message_box_text(HWND box) { return control_text(box, 0xFFFF); }

bool wait_refresh(HWND dialog, DWORD timeout_ms) {
  const wchar_t kForeign[] = L"\x2022refresh\x2022";
  set_text(dialog, IDC_UID_EDIT, kForeign);
  return wait_until([&] { return control_text(dialog, IDC_UID_EDIT) != kForeign; }, timeout_ms);
}

HWND wait_menu(DWORD pid, DWORD timeout_ms) {
  HWND found = nullptr;
  wait_until(
      [&] {
        for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w != nullptr;
             w = ::FindWindowExW(nullptr, w, L"#32768", nullptr)) {
          DWORD owner = 0;
          ::GetWindowThreadProcessId(w, &owner);
          if (owner == pid && ::IsWindowVisible(w)) {
            found = w;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

void close_message_box(HWND box) { ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

RECT window_rect(HWND hwnd) {
  RECT r = {};
  ::GetWindowRect(hwnd, &r);
  return r;
}

Capture::Capture(const RECT& screen_rect)
    : width_(screen_rect.right - screen_rect.left), height_(screen_rect.bottom - screen_rect.top) {
  if (width_ <= 0 || height_ <= 0) return;
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width_;
  bi.bmiHeader.biHeight = -height_;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    HGDIOBJ old = ::SelectObject(mem, dib);
    if (::BitBlt(mem, 0, 0, width_, height_, screen, screen_rect.left, screen_rect.top, SRCCOPY)) {
      ::GdiFlush();
      const DWORD* p = static_cast<const DWORD*>(bits);
      pixels_.assign(p, p + static_cast<size_t>(width_) * height_);
    }
    ::SelectObject(mem, old);
  }
  if (dib) ::DeleteObject(dib);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
}

int Capture::count(const std::function<bool(int, int, int)>& match) const {
  int n = 0;
  for (DWORD px : pixels_) {
    if (match(static_cast<int>((px >> 16) & 0xFF), static_cast<int>((px >> 8) & 0xFF), static_cast<int>(px & 0xFF))) ++n;
  }
  return n;
}

bool Capture::save_bmp(const std::string& path) const {
  if (!ok()) return false;
  const int row = (width_ * 3 + 3) & ~3;
  BITMAPFILEHEADER fh = {};
  BITMAPINFOHEADER ih = {};
  ih.biSize = sizeof(ih);
  ih.biWidth = width_;
  ih.biHeight = height_;  // bottom-up
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = static_cast<DWORD>(row * height_);
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(ih);
  fh.bfSize = fh.bfOffBits + ih.biSizeImage;
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool good = ::WriteFile(f, &fh, sizeof(fh), &written, nullptr) && ::WriteFile(f, &ih, sizeof(ih), &written, nullptr);
  std::vector<BYTE> line(static_cast<size_t>(row), 0);
  for (int y = height_ - 1; good && y >= 0; --y) {
    for (int x = 0; x < width_; ++x) {
      DWORD px = pixel(x, y);
      line[static_cast<size_t>(x) * 3 + 0] = static_cast<BYTE>(px & 0xFF);
      line[static_cast<size_t>(x) * 3 + 1] = static_cast<BYTE>((px >> 8) & 0xFF);
      line[static_cast<size_t>(x) * 3 + 2] = static_cast<BYTE>((px >> 16) & 0xFF);
    }
    good = ::WriteFile(f, line.data(), static_cast<DWORD>(row), &written, nullptr) != FALSE;
  }
  ::CloseHandle(f);
  return good;
}

}  // namespace gui
