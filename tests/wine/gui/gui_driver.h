// GUI bench: drives the real dialog application from a second process under Wine.
//
// Everything here works across processes with the wide window messages (Wine returns UTF-16 text
// to cross-process 8-bit requests, so only the W calls give reliable text). Typical use:
//
//   gui::App app;
//   ASSERT_TRUE(app.start());                          // starts the exe, waits for its dialog
//   gui::control_text(app.dialog, IDC_INSTALL);        // L"Install driver"
//   gui::click(app.dialog, IDC_EXTRACT);               // posts BM_CLICK
//   HWND box = gui::wait_message_box(app.pid, app.dialog);
//   gui::message_box_text(box); gui::close_message_box(box);
//   app.close();                                       // WM_CLOSE, waits, returns the exit code
//
// Waiting for windows and reading their texts come from the support library (test_support.h);
// control IDs from app/resource.h.
//
// Screenshots: tests/wine/gui/screenshot.sh [out.png] saves the dialog as PNG (app_screenshot.exe on
// the bench's Xvfb display); `tests/wine/bench.sh screenshot out.png` saves the whole Xvfb screen.
// Tests that capture pixels are declared with DISPLAY (x11 driver, virtual desktop); all others run
// on the headless null driver. Each tree's tests drive that tree's app build (the shipped 32-bit
// app in win32, its 64-bit test build in win64).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/resource.h"
#include "test_support.h"

namespace gui {

extern const wchar_t kMainCaption[];  // L"Velmor_Korvex_DriverInstall_V2.0.00"

// The app: env VELMOR_APP_EXE, else ..\..\..\app\<exe> from this program's folder
// (build/win32/tests/wine/gui -> build/win32/app).
std::string app_exe_path();

struct App {
  HANDLE process = nullptr;
  DWORD pid = 0;
  HWND dialog = nullptr;

  App() = default;
  App(const App&) = delete;
  App& operator=(const App&) = delete;
  ~App();

  // Starts the exe and waits up to timeout_ms for its main dialog; false when it does not appear.
  bool start(const std::string& exe = app_exe_path(), const std::string& args = "", DWORD timeout_ms = 15000);
  // Posts WM_CLOSE to the dialog and waits for the process; its exit code, or -1 on timeout.
  long close(DWORD timeout_ms = 10000);
  // Waits for the process to end by itself; its exit code, or -1 on timeout.
  long wait_exit(DWORD timeout_ms = 10000);
  bool running() const;
  void kill();
};

// Waiting for windows and reading them, from the support library.
using wine_test::class_name;
using wine_test::find_dialogs;
using wine_test::find_window;
using wine_test::wait_message_box;
using wine_test::wait_until;
using wine_test::wait_window;
using wine_test::window_text;

HWND control(HWND dialog, int id);  // null when absent
std::wstring control_text(HWND dialog, int id);
LONG control_style(HWND dialog, int id);
LONG control_ex_style(HWND dialog, int id);
bool control_enabled(HWND dialog, int id);
bool control_visible(HWND dialog, int id);
// Rectangles in the dialog's client coordinates.
RECT control_rect(HWND dialog, int id);
RECT rect_in_client(HWND dialog, HWND child);
// Each field converted from dialog units to pixels in a dialog with the main dialog's font
// ("Verdana" 8 pt), measured by a dialog of our own (pass x, y, width, height).
RECT dialog_units_to_pixels(const RECT& dialog_units);
std::vector<HWND> child_controls(HWND dialog);  // in z (creation) order

std::vector<std::wstring> combo_rows(HWND dialog, int id);
int combo_selection(HWND dialog, int id);
int check_state(HWND dialog, int id);

void click(HWND dialog, int id);  // posts BM_CLICK
void set_text(HWND dialog, int id, const wchar_t* text);
void send_syscommand(HWND window, WPARAM command, LPARAM lp = 0);

std::wstring message_box_text(HWND box);
// Waits for the dialog's next refresh: each one writes the member texts back to the controls, so a
// foreign text put on the UID field lasts until then. False when none comes within the bound.
bool wait_refresh(HWND dialog, DWORD timeout_ms = 10000);
// The popup menu a window of the process opened (class #32768), once visible; null when none.
HWND wait_menu(DWORD pid, DWORD timeout_ms = 10000);
void close_message_box(HWND box);

RECT window_rect(HWND hwnd);  // on the screen

// A copy of screen pixels, taken at construction (BitBlt of the screen DC: needs a real display,
// DISPLAY / bench.sh --display); saved as a 24-bit BMP, which convert turns into PNG.
class Capture {
 public:
  explicit Capture(const RECT& screen_rect);
  int width() const { return width_; }
  int height() const { return height_; }
  bool ok() const { return !pixels_.empty(); }
  // 0x00RRGGBB of the pixel at (x, y), relative to the captured rectangle.
  DWORD pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x] & 0xFFFFFF; }
  // Pixels whose colour satisfies the predicate (arguments r, g, b).
  int count(const std::function<bool(int, int, int)>& match) const;
  bool save_bmp(const std::string& path) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<DWORD> pixels_;
};

}  // namespace gui
