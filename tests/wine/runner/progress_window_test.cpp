// The progress window, driven fast: its timer is slowed down and a second thread sends the ticks.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <map>

#include "engine/progress_window.h"
#include "engine/status.h"
#include "runner_fixture.h"

using namespace runner_test;

namespace {

constexpr UINT kRunOnUiThread = WM_APP + 5;

// A stand-in installation that runs until released.
struct fake_install {
  velmor::unique_handle release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  int status = WDI_ST_BAD_INF;
  HWND owner = nullptr;
  std::atomic<bool> returned{false};
  std::atomic<bool> owner_enabled_while_running{true};
  std::atomic<bool> abandoned{false};
};

int fake_routine(void* context) {
  auto* f = static_cast<fake_install*>(context);
  f->owner_enabled_while_running = ::IsWindowEnabled(f->owner) != FALSE;
  ::WaitForSingleObject(f->release.get(), 60000);
  f->returned = true;
  return f->status;
}

void fake_abandon(void* context) { static_cast<fake_install*>(context)->abandoned = true; }

// Runs a callable on the owner's (user-interface) thread, from inside the message loop.
LRESULT CALLBACK owner_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunOnUiThread) {
    (*reinterpret_cast<std::function<void()>*>(lparam))();
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

class ProgressWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = owner_procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"velmor_test_owner";
    ::RegisterClassW(&wc);
    owner_ = ::CreateWindowExW(0, L"velmor_test_owner", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 640,
                               420, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(owner_, nullptr);
    fake_.owner = owner_;
    saved_tick_ = progress_tick_ms;
    progress_tick_ms = USER_TIMER_MAXIMUM;  // only the test's ticks count
  }
  void TearDown() override {
    if (driver_.joinable()) driver_.join();
    progress_tick_ms = saved_tick_;
    ::DestroyWindow(owner_);
  }

  static HWND find_progress_window() { return wine_test::wait_window_of_class(L"wdi_progress_class"); }

  static std::string text_of(HWND window) {
    HWND line = ::FindWindowExW(window, nullptr, L"Static", nullptr);
    char text[256] = {};
    ::GetWindowTextA(line, text, sizeof(text));
    return text;
  }

  static void tick(HWND window) { ::SendMessageW(window, WM_TIMER, 1, 0); }

  // Drives the window from a second thread while this thread runs it.
  void drive(std::function<void(HWND)> steps) {
    driver_ = wine_test::thread([steps] {
      HWND window = find_progress_window();
      if (window != nullptr) steps(window);
    });
  }

  int run() { return run_routine_with_progress_bar(owner_, &fake_, fake_routine, fake_abandon); }

  HWND owner_ = nullptr;
  fake_install fake_;
  UINT saved_tick_ = 0;
  wine_test::thread driver_;
};

TEST_F(ProgressWindow, ShowsEachTextAtItsTickAndTimesOutAtTick301) {
  std::map<std::string, int> first_seen;
  std::string before_first_text;
  bool alive_at_300 = false;
  drive([&](HWND window) {
    for (int t = 1; t <= 300; ++t) {
      tick(window);
      std::string text = text_of(window);
      if (!first_seen.count(text)) first_seen[text] = t;
      if (t == 15) before_first_text = text;
    }
    alive_at_300 = ::IsWindow(window) != FALSE;
    tick(window);
  });
  log_capture log;
  int status = run();
  driver_.join();
  log.text();

  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_TRUE(alive_at_300);
  EXPECT_EQ(before_first_text, "Installing Driver...");
  EXPECT_EQ(first_seen["Installation can take some time..."], 16);
  EXPECT_EQ(first_seen["The installation process can take up to 5 minutes..."], 31);
  EXPECT_EQ(first_seen["...is because a System Restore point is created."], 91);
  EXPECT_EQ(first_seen["There's a 5 minutes timeout enventually..."], 151);
  EXPECT_EQ(first_seen["Aborting in 15 seconds..."], 286);
  EXPECT_EQ(first_seen.size(), 20u);  // the initial text and the 19
  EXPECT_TRUE(log.has("Velmor:error [progress_callback] progress timeout expired - KILLING THREAD!"));
  EXPECT_FALSE(fake_.returned);  // terminated in its wait
  EXPECT_TRUE(fake_.abandoned);
  EXPECT_TRUE(::IsWindowEnabled(owner_));
  EXPECT_EQ(::FindWindowW(L"wdi_progress_class", nullptr), nullptr);
}

TEST_F(ProgressWindow, ReturnsTheWorkersStatusAndCannotBeClosedMovedOrResized) {
  bool survived_close = false;
  RECT placed = {};
  LONG style = 0, ex_style = 0;
  LRESULT on_border = -1, on_caption = -1, in_client = -1;
  std::string title;
  drive([&](HWND window) {
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    survived_close = ::IsWindow(window) != FALSE;
    ::GetWindowRect(window, &placed);
    style = ::GetWindowLongW(window, GWL_STYLE);
    ex_style = ::GetWindowLongW(window, GWL_EXSTYLE);
    char text[64] = {};
    ::GetWindowTextA(window, text, sizeof(text));
    title = text;
    int middle_y = (placed.top + placed.bottom) / 2;
    on_border = ::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(placed.left + 1, middle_y));
    on_caption = ::SendMessageW(window, WM_NCHITTEST, 0,
                                MAKELPARAM((placed.left + placed.right) / 2, placed.top + ::GetSystemMetrics(SM_CYFRAME) + 4));
    in_client = ::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM((placed.left + placed.right) / 2, middle_y));
    ::SetEvent(fake_.release.get());
  });
  EXPECT_EQ(run(), WDI_ST_BAD_INF);
  driver_.join();

  EXPECT_FALSE(fake_.owner_enabled_while_running);
  EXPECT_TRUE(::IsWindowEnabled(owner_));
  EXPECT_FALSE(fake_.abandoned);
  EXPECT_TRUE(survived_close);
  EXPECT_EQ(title, "Installing Driver...");
  EXPECT_EQ(static_cast<DWORD>(style) & 0xFFFF0000u, 0x96C40000u);
  EXPECT_EQ(static_cast<DWORD>(ex_style) & 0x10100u, 0x10100u);
  EXPECT_EQ(on_border, HTCLIENT);
  EXPECT_EQ(on_caption, HTNOWHERE);
  EXPECT_EQ(in_client, HTNOWHERE);

  // Centred on the owner's client area, 35 pixels up.
  RECT client = {};
  ::GetClientRect(owner_, &client);
  POINT centre = {client.right / 2, client.bottom / 2};
  ::ClientToScreen(owner_, &centre);
  int width = placed.right - placed.left, height = placed.bottom - placed.top;
  EXPECT_EQ(width, 287);
  EXPECT_EQ(placed.left, centre.x - width / 2);
  EXPECT_EQ(placed.top, centre.y - height / 2 - 35);
}

TEST_F(ProgressWindow, SecondsWithAWindowsSecurityPromptAreNotCounted) {
  std::string after_prompt_ticks, after_15, after_16;
  drive([&](HWND window) {
    HWND prompt = ::CreateWindowExW(0, L"Static", L"Windows Security", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                    nullptr, nullptr);
    for (int t = 0; t < 100; ++t) tick(window);
    after_prompt_ticks = text_of(window);
    ::DestroyWindow(prompt);
    for (int t = 0; t < 15; ++t) tick(window);
    after_15 = text_of(window);
    tick(window);
    after_16 = text_of(window);
    ::SetEvent(fake_.release.get());
  });
  EXPECT_EQ(run(), WDI_ST_BAD_INF);
  driver_.join();
  EXPECT_EQ(after_prompt_ticks, "Installing Driver...");
  EXPECT_EQ(after_15, "Installing Driver...");
  EXPECT_EQ(after_16, "Installation can take some time...");
}

// The 301st tick comes after the worker cleared its marker and posted its status, before the
// status is handled: nothing is terminated and the installation's own status comes back.
TEST_F(ProgressWindow, LateTickAfterTheWorkerFinishedTerminatesNothing) {
  std::function<void()> finish_then_tick;
  drive([&](HWND window) {
    for (int t = 0; t < 300; ++t) tick(window);
    // Runs on the window's thread, so the worker's report waits in its queue until the tick is handled.
    finish_then_tick = [this, window] {
      ::SetEvent(fake_.release.get());
      MSG done;
      wine_test::wait_until(
          [&] { return ::PeekMessageW(&done, window, WM_PROGRESS_DONE, WM_PROGRESS_DONE, PM_NOREMOVE) != FALSE; },
          20000);
      ::SendMessageW(window, WM_TIMER, 1, 0);
    };
    ::SendMessageW(owner_, kRunOnUiThread, 0, reinterpret_cast<LPARAM>(&finish_then_tick));
  });
  log_capture log;
  int status = run();
  driver_.join();
  EXPECT_FALSE(log.has("KILLING THREAD"));
  EXPECT_EQ(status, WDI_ST_BAD_INF);
  EXPECT_FALSE(fake_.abandoned);
}

void release_fake(void* context) { ::SetEvent(static_cast<fake_install*>(context)->release.get()); }

// A worker that returns once stopped is not terminated, and the time-out still decides the status.
TEST_F(ProgressWindow, TimeoutStopsTheRoutineBeforeTerminatingIt) {
  drive([](HWND window) {
    for (int t = 0; t <= PROGRESS_TIMEOUT_TICKS; ++t) tick(window);
  });
  log_capture log;
  int status = run_stoppable_routine_with_progress_bar(owner_, &fake_, fake_routine, release_fake, fake_abandon);
  driver_.join();
  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_TRUE(fake_.returned);
  EXPECT_FALSE(fake_.abandoned);
  EXPECT_TRUE(log.has("Velmor:error [progress_callback] progress timeout expired - ending the installation"));
  EXPECT_FALSE(log.has("KILLING THREAD"));
}

// The time-out of a real installation ends its installer; the worker then returns by itself (its
// pipe wait ends with the process), so that nothing it held stays held for the next installation.
TEST_F(ProgressWindow, TimedOutInstallationEndsItsInstallerAndTheNextOneWorks) {
  package_folder folder;
  test_device device;
  wdi_install_options options = {};
  options.owner_window = owner_;
  const int saved_timeout = progress_timeout_ticks;
  progress_timeout_ticks = 3;
  velmor::scope_exit restore([saved_timeout] { progress_timeout_ticks = saved_timeout; });
  std::string connected = folder.file("connected.txt");
  drive([connected](HWND window) {
    wait_for_file(connected, 20000);
    for (int t = 0; t < 4; ++t) tick(window);
  });
  log_capture log;
  int status = install(device, folder, "hold", &options);
  driver_.join();
  log.text();
  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_TRUE(log.has("Velmor:error [progress_callback] progress timeout expired - ending the installation"));
  EXPECT_FALSE(log.has("KILLING THREAD"));
  EXPECT_FALSE(process_alive(folder.installer_pid()));
  EXPECT_EQ(installer_pipe, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(::IsWindowEnabled(owner_));

  package_folder next;
  EXPECT_EQ(install(device, next, "normal", &options), WDI_ST_OK);
}

TEST_F(ProgressWindow, NullParentCreatesNothing) {
  EXPECT_EQ(run_routine_with_progress_bar(nullptr, &fake_, fake_routine, fake_abandon), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(run_with_progress_bar(nullptr, nullptr), WDI_ST_BAD_PARAMETER);
  EXPECT_EQ(::FindWindowW(L"wdi_progress_class", nullptr), nullptr);
}

// A real installation whose installer hangs: the time-out must leave nothing that blocks the next.
TEST_F(ProgressWindow, InstallationAfterATimeoutWorks) {
  package_folder folder;
  test_device device;
  wdi_install_options options = {};
  options.owner_window = owner_;
  std::string connected = folder.file("connected.txt");
  drive([connected](HWND window) {
    wait_for_file(connected, 20000);
    for (int t = 0; t < 301; ++t) tick(window);
  });
  log_capture log;
  int status = install(device, folder, "hold", &options);
  driver_.join();
  log.text();
  EXPECT_EQ(status, WDI_ST_TIMED_OUT);
  EXPECT_TRUE(log.has("Velmor:debug [wdi_install_driver] using progress bar mode"));
  EXPECT_FALSE(process_alive(folder.installer_pid()));
  EXPECT_EQ(installer_pipe, INVALID_HANDLE_VALUE);
  EXPECT_EQ(active_device, nullptr);
  EXPECT_TRUE(::IsWindowEnabled(owner_));

  package_folder next;
  EXPECT_EQ(install(device, next, "normal", &options), WDI_ST_OK);
  EXPECT_EQ(install(device, next, "normal"), WDI_ST_OK);
}

}  // namespace
