// The modal progress window over an installation running on a worker thread, with its time-out.
#include "engine/install/progress_window.h"

#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstring>

#include "engine/common/error_text.h"
#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/common/system.h"
#include "engine/install/install.h"
#include "win/handles.h"
#include "win/imports.h"

UINT progress_tick_ms = 1000;
int progress_timeout_ticks = PROGRESS_TIMEOUT_TICKS;
UINT progress_worker_grace_ms = 5000;

namespace {

const wchar_t kClassName[] = L"wdi_progress_class";
const wchar_t kTitle[] = L"Installing Driver...";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT_PTR kGraceTimerId = 2;
constexpr int kTextCount = 19;
constexpr int kTicksPerText = 15;
// After the worker has said it is done, it only has to return.
constexpr DWORD kWorkerExitWaitMs = 10000;

const char* const kTexts[kTextCount] = {
    "Installation can take some time...",
    "The installation process can take up to 5 minutes...",
    "You may also be asked to reboot for KMDF upgrades.",
    "If so, please watch for additional popup windows.",
    "The reason driver installation may take time...",
    "...is because a System Restore point is created.",
    "Microsoft offers no means of checking progress...",
    "...so we can't say how long it'll take...",
    "Please continue to be patient...",
    "There's a 5 minutes timeout enventually...",
    "...so if there's a problem, the process will abort.",
    "I've really seen an installation take 5 minutes...",
    "...on a Vista 64 machine with a very large disk.",
    "So how was your day...",
    "...before it got ruined by this endless installation?",
    "Seriously, what is taking this process so long?!",
    "Aborting in 45 seconds...",
    "Aborting in 30 seconds...",
    "Aborting in 15 seconds...",
};


// One progress window at a time, process-wide.
struct progress_state {
  HWND window = nullptr;
  HWND text = nullptr;
  HWND bar = nullptr;
  HWND parent = nullptr;
  HINSTANCE instance = nullptr;
  // Set while a worker runs; the worker clears it before it reports.
  std::atomic<HANDLE> worker_marker{INVALID_HANDLE_VALUE};
  velmor::unique_handle worker;  // owned here, so that it can be waited for and terminated safely
  bool timed_out = false;  // stopped at the time-out; the worker is given its grace
  bool worker_killed = false;
  int ticks = 0;
  int text_position = 0;
  void* context = nullptr;
  progress_routine routine = nullptr;
  progress_stop stop = nullptr;
  velmor::unique_gdi font;
};
progress_state progress;

void init_children() {
  // The progress bar's class; a program started for a command may not have loaded comctl32 yet.
  INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_PROGRESS_CLASS};
  if (auto init_common_controls = velmor::imports::InitCommonControlsEx()) init_common_controls(&classes);
  progress.bar = ::CreateWindowExA(WS_EX_NOPARENTNOTIFY, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE | PBS_MARQUEE,
                                   10, 35, 250, 12, progress.window, nullptr, progress.instance, nullptr);
  if (progress.bar == nullptr) {
    wdi_err("Unable to create progress bar: %s", windows_error_text(0));
  } else {
    ::PostMessageA(progress.bar, PBM_SETMARQUEE, TRUE, 0);
  }
  progress.text = ::CreateWindowExA(WS_EX_TRANSPARENT | WS_EX_NOPARENTNOTIFY, "Static", "Installing Driver...",
                                    WS_CHILD | WS_VISIBLE | WS_GROUP, 12, 12, 250, 16, progress.window, nullptr,
                                    progress.instance, nullptr);
  if (progress.text == nullptr) wdi_err("Unable to create progress text: %s", windows_error_text(0));

  // gdi32 is a delay import: loaded here, at the first window that needs it, not at start-up.
  progress.font.reset(::CreateFontA(-11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "MS Shell Dlg 2"));
  if (progress.font && progress.text != nullptr) {
    ::SendMessageA(progress.text, WM_SETFONT, reinterpret_cast<WPARAM>(progress.font.get()), TRUE);
  }
}

// Over the middle of the owner's client area, 35 pixels higher.
void center_progress_window() {
  HWND parent = ::GetParent(progress.window);
  if (parent == nullptr) return;
  RECT own = {};
  RECT client = {};
  ::GetWindowRect(progress.window, &own);
  ::GetClientRect(parent, &client);
  POINT centre = {(client.right - client.left) / 2, (client.bottom - client.top) / 2};
  ::ClientToScreen(parent, &centre);
  int width = own.right - own.left;
  int height = own.bottom - own.top;
  ::MoveWindow(progress.window, centre.x - width / 2, centre.y - height / 2 - 35, width, height, FALSE);
}

// Reports to the window that started it, even if another window has taken the stored handle since.
unsigned __stdcall progress_thread(void* window) {
  int status = progress.routine(progress.context);
  progress.worker_marker = INVALID_HANDLE_VALUE;
  ::PostMessageW(static_cast<HWND>(window), WM_PROGRESS_DONE, static_cast<WPARAM>(status), 0);
  return 0;
}

// Every way out gives the owner back its input, ends the loop with the status and removes the window.
void end_progress_window(HWND window, int status) {
  ::EnableWindow(progress.parent, TRUE);
  ::PostQuitMessage(status);
  ::DestroyWindow(window);
}

void start_worker(HWND window) {
  if (progress.worker_marker != INVALID_HANDLE_VALUE) {
    engine_log(LOG_ERROR, "progress_callback", "program assertion failed - another operation is in progress");
    end_progress_window(window, WDI_ST_NO_RESOURCE);
    return;
  }
  // _beginthreadex, not _beginthread: the handle must stay valid until we close it, or the time-out
  // could terminate whatever thread later reused it.
  uintptr_t started = _beginthreadex(nullptr, 0, progress_thread, window, 0, nullptr);
  if (started == 0) {
    engine_log(LOG_ERROR, "progress_callback", "unable to create progress_thread");
    end_progress_window(window, WDI_ST_NO_RESOURCE);
    return;
  }
  progress.worker.reset(reinterpret_cast<HANDLE>(started));
  progress.worker_marker = progress.worker.get();
}

void show_next_text() {
  ::SetWindowTextA(progress.text, kTexts[progress.text_position]);
  // The transparent line is repainted over the window background only when shown again.
  ::ShowWindow(progress.text, SW_HIDE);
  ::UpdateWindow(progress.text);
  ::ShowWindow(progress.text, SW_SHOW);
  ::UpdateWindow(progress.text);
  ++progress.text_position;
}

// A terminated thread leaves whatever it held held: a lock of the C runtime taken for a log line
// or an allocation would hang the next one on this thread. So the installation is first asked to
// end (its installer process goes, and with it the worker's pipe reads), and only a worker that
// has not returned within its grace is terminated.
void time_out(HWND window) {
  engine_log(LOG_ERROR, "progress_callback", "progress timeout expired - ending the installation");
  progress.timed_out = true;
  if (progress.stop != nullptr) progress.stop(progress.context);
  ::SetTimer(window, kGraceTimerId, progress_worker_grace_ms, nullptr);
}

void grace_expired(HWND window) {
  ::KillTimer(window, kGraceTimerId);
  // A worker that has returned meanwhile has its WM_PROGRESS_DONE on the way.
  if (progress.worker_marker == INVALID_HANDLE_VALUE) return;
  engine_log(LOG_ERROR, "progress_callback", "progress timeout expired - KILLING THREAD!");
  ::TerminateThread(progress.worker_marker.load(), 0xFFFFFFFF);
  progress.worker_marker = INVALID_HANDLE_VALUE;
  progress.worker_killed = true;
  end_progress_window(window, WDI_ST_TIMED_OUT);
}

void count_tick(HWND window) {
  if (progress.timed_out) return;
  // Seconds spent on a system prompt are the user's, not the installation's.
  if (security_prompt_present() != nullptr) return;
  ++progress.ticks;
  if (progress.text_position < kTextCount && progress.ticks > kTicksPerText * (progress.text_position + 1)) {
    show_next_text();
  } else if (progress.ticks > progress_timeout_ticks && progress.worker_marker != INVALID_HANDLE_VALUE) {
    time_out(window);
  }
}

LRESULT hit_test(HWND window, WPARAM wparam, LPARAM lparam) {
  LRESULT hit = ::DefWindowProcW(window, WM_NCHITTEST, wparam, lparam);
  switch (hit) {
    case HTLEFT: case HTRIGHT: case HTTOP: case HTBOTTOM: case HTGROWBOX:
    case HTTOPLEFT: case HTTOPRIGHT: case HTBOTTOMLEFT: case HTBOTTOMRIGHT:
      return HTCLIENT;
    default:
      return HTNOWHERE;
  }
}

LRESULT CALLBACK progress_callback(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      progress.ticks = 0;
      progress.text_position = 0;
      progress.window = window;
      ::EnableWindow(progress.parent, FALSE);
      init_children();
      center_progress_window();
      ::SetTimer(window, kTimerId, progress_tick_ms, nullptr);
      ::PostMessageW(window, WM_PROGRESS_START, 0, 0);
      return 0;
    case WM_PROGRESS_START:
      start_worker(window);
      return 0;
    case WM_TIMER:
      if (wparam == kGraceTimerId) {
        grace_expired(window);
      } else {
        count_tick(window);
      }
      return 0;
    case WM_PROGRESS_DONE:
      end_progress_window(window, progress.timed_out ? WDI_ST_TIMED_OUT : static_cast<int>(wparam));
      return 0;
    case WM_CLOSE:
      return 0;
    case WM_NCHITTEST:
      return hit_test(window, wparam, lparam);
    case WM_CTLCOLORSTATIC:
      ::SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    case WM_DESTROY:
      ::KillTimer(window, kTimerId);
      ::KillTimer(window, kGraceTimerId);
      progress.window = nullptr;
      progress.text = nullptr;
      progress.bar = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

bool register_progress_class(HINSTANCE instance) {
  WNDCLASSEXW known = {};
  known.cbSize = sizeof(known);
  if (::GetClassInfoExW(instance, kClassName, &known)) return true;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_SAVEBITS | CS_DBLCLKS;
  wc.lpfnWndProc = progress_callback;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClassName;
  return ::RegisterClassExW(&wc) != 0;
}

// The worker has reported or been terminated: make sure it is gone, then release what a terminated
// one held.
void finish_worker(progress_abandon abandon, void* context) {
  bool killed = progress.worker_killed;
  if (progress.worker) ::WaitForSingleObject(progress.worker.get(), kWorkerExitWaitMs);
  progress.worker.reset();
  progress.worker_marker = INVALID_HANDLE_VALUE;
  progress.worker_killed = false;
  progress.timed_out = false;
  if (killed && abandon != nullptr) abandon(context);
}

}  // namespace

extern "C" int run_routine_with_progress_bar(HWND parent, void* context, progress_routine routine,
                                             progress_abandon abandon) {
  return run_stoppable_routine_with_progress_bar(parent, context, routine, nullptr, abandon);
}

extern "C" int run_stoppable_routine_with_progress_bar(HWND parent, void* context, progress_routine routine,
                                                       progress_stop stop, progress_abandon abandon) {
  if (parent == nullptr) return WDI_ST_BAD_PARAMETER;
  progress.instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE));

  velmor::unique_handle mutex(::CreateMutexW(nullptr, TRUE, nullptr));
  if (!mutex) {
    engine_log(LOG_ERROR, "run_with_progress_bar", "could not obtain progress dialog mutex - is another dialog active?");
    return WDI_ST_IN_USE;
  }
  progress.context = context;
  progress.routine = routine;
  progress.stop = stop;
  progress.timed_out = false;
  progress.parent = parent;

  if (!register_progress_class(progress.instance)) {
    engine_log(LOG_ERROR, "run_with_progress_bar", "can't register class %s", windows_error_text(0));
    return WDI_ST_NO_RESOURCE;
  }
  HWND window = ::CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE, kClassName, kTitle,
                                  WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_THICKFRAME,
                                  100, 100, 287, 102, parent, nullptr, progress.instance, nullptr);
  if (window == nullptr) {
    engine_log(LOG_ERROR, "run_with_progress_bar", "Unable to create progress dialog: %s", windows_error_text(0));
    ::EnableWindow(parent, TRUE);
    return WDI_ST_NO_RESOURCE;
  }
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);

  MSG message = {};
  for (;;) {
    BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) break;
    if (got == -1) {
      engine_log(LOG_ERROR, "run_with_progress_bar", "GetMessage error");
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  finish_worker(abandon, context);
  progress.font.reset();
  return static_cast<int>(message.wParam);
}

extern "C" int run_with_progress_bar(HWND parent, void* request) {
  return run_stoppable_routine_with_progress_bar(parent, request, install_driver_internal, stop_installation,
                                                 release_abandoned_installation);
}

namespace {
BOOL CALLBACK find_security_prompt(HWND window, LPARAM found) {
  LONG style = ::GetWindowLongW(window, GWL_STYLE);
  if ((static_cast<DWORD>(style) & (WS_POPUP | WS_BORDER | WS_SYSMENU)) == 0) return TRUE;
  char title[256] = {};
  ::GetWindowTextA(window, title, sizeof(title));
  title[sizeof(title) - 1] = '\0';
  if (std::strcmp(title, "Windows Security") == 0) *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}
}  // namespace

extern "C" HWND security_prompt_present(void) {
  HWND found = nullptr;
  ::EnumChildWindows(::GetDesktopWindow(), find_security_prompt, reinterpret_cast<LPARAM>(&found));
  return found;
}
