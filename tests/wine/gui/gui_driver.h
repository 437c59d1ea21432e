// GUI bench: drives the real dialog application from a second process under Wine.
//
// Everything here works across processes with the wide window messages (Wine returns UTF-16 text
// to cross-process 8-bit requests, so only the W calls give reliable text). Typical use:
//
//   gui::App app;
//   ASSERT_TRUE(app.start());                          // starts the exe, waits for its dialog
//   gui::control_text(app.dialog, 1000);               // L"Install driver"
//   gui::click(app.dialog, 1001);                      // posts BM_CLICK
//   HWND box = gui::wait_message_box(app.pid, app.dialog);
//   gui::message_box_text(box); gui::close_message_box(box);
//   app.close();                                       // WM_CLOSE, waits, returns the exit code
//
// Functions:
//   app_exe_path()                 the app: env VELMOR_APP_EXE, else ..\..\..\app\<exe> from this
//                                  program's folder (build/win32/tests/wine/gui -> build/win32/app)
//   App::start(exe, args)          CreateProcess + wait for the main dialog (by caption and pid)
//   App::close(), App::kill()      end the app (politely / by force, only the process we started)
//   find_window(caption, pid)      a visible top-level window with that exact caption (pid 0: any)
//   wait_window(caption, pid, ms)  polls find_window
//   window_text(hwnd), control_text(dialog, id)
//   control(dialog, id)            the control's window (null when absent)
//   control_style / control_ex_style / control_enabled / control_visible / control_rect
//                                  (rect in the dialog's client coordinates)
//   dialog_units_to_pixels(rect)   each field converted from dialog units to pixels in a dialog with
//                                  the main dialog's font ("Verdana" 8 pt), measured by a dialog of
//                                  our own (pass x, y, width, height: each is converted on its own)
//   child_controls(dialog)         every child in z (creation) order
//   combo_rows(dialog, id), combo_selection(dialog, id), check_state(dialog, id)
//   click(dialog, id), set_text(dialog, id, text)
//   send_syscommand(window, cmd)   posts WM_SYSCOMMAND
//   find_dialogs(pid, exclude)     other visible #32770 top-level windows of the process
//   wait_message_box(pid, exclude, ms), message_box_text(box), close_message_box(box)
//   wait_until(predicate, ms)      polls every 10 ms
//   Capture(screen rect)           the screen's pixels there (BitBlt of the screen DC; needs a real
//                                  display: run with DISPLAY / bench.sh --display), pixel access
//                                  and saving as a 24-bit BMP (convert turns it into PNG)
//   window_rect(hwnd)              screen rectangle of a window
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

namespace gui {

extern const wchar_t kMainCaption[];  // L"Velmor_Korvex_DriverInstall_V2.0.00"

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

bool wait_until(const std::function<bool()>& predicate, DWORD timeout_ms);

HWND find_window(const wchar_t* caption, DWORD pid = 0);
HWND wait_window(const wchar_t* caption, DWORD pid = 0, DWORD timeout_ms = 10000);

std::wstring window_text(HWND hwnd);
std::wstring class_name(HWND hwnd);
HWND control(HWND dialog, int id);
std::wstring control_text(HWND dialog, int id);
LONG control_style(HWND dialog, int id);
LONG control_ex_style(HWND dialog, int id);
bool control_enabled(HWND dialog, int id);
bool control_visible(HWND dialog, int id);
RECT control_rect(HWND dialog, int id);
RECT rect_in_client(HWND dialog, HWND child);
RECT dialog_units_to_pixels(const RECT& dialog_units);
std::vector<HWND> child_controls(HWND dialog);

std::vector<std::wstring> combo_rows(HWND dialog, int id);
int combo_selection(HWND dialog, int id);
int check_state(HWND dialog, int id);

void click(HWND dialog, int id);
void set_text(HWND dialog, int id, const wchar_t* text);
void send_syscommand(HWND window, WPARAM command, LPARAM lp = 0);

std::vector<HWND> find_dialogs(DWORD pid, HWND exclude);
HWND wait_message_box(DWORD pid, HWND exclude, DWORD timeout_ms = 5000);
std::wstring message_box_text(HWND box);
void close_message_box(HWND box);

RECT window_rect(HWND hwnd);

// A copy of screen pixels, taken at construction.
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
