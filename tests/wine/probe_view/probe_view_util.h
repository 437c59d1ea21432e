// Helpers of the probe view tests: the dialog's fields, row selection as a user makes it, and a
// frozen application, so that several lab changes reach it as one refresh.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "app/ProbeRecord.h"
#include "engine/common/status.h"
#include "engine/enumeration/device_list.h"
#include "gui_driver.h"
#include "probe_lab.h"

namespace probe_view {

using wine_test::widen;

// Everything the probe view shows.
struct view {
  std::vector<std::wstring> rows;
  int selection = -2;
  std::wstring pid, vid, uid, usart, bridge, winusb, wcid, caption;
};

inline view read_view(HWND dialog) {
  view v;
  v.rows = gui::combo_rows(dialog, IDC_PROBE_COMBO);
  v.selection = gui::combo_selection(dialog, IDC_PROBE_COMBO);
  v.pid = gui::control_text(dialog, IDC_PID_EDIT);
  v.vid = gui::control_text(dialog, IDC_VID_EDIT);
  v.uid = gui::control_text(dialog, IDC_UID_EDIT);
  v.usart = gui::control_text(dialog, IDC_USART_STATUS);
  v.bridge = gui::control_text(dialog, IDC_BRIDGE_STATUS);
  v.winusb = gui::control_text(dialog, IDC_WINUSB_STATUS);
  v.wcid = gui::control_text(dialog, IDC_WCID_LABEL);
  v.caption = gui::control_text(dialog, IDC_INSTALL);
  return v;
}

// Waits until the dialog shows the UID and as many rows. A refresh comes once a second; the wait
// asks for one every 200 ms as the timer would (the refresh itself is what is under test).
inline bool wait_for(HWND dialog, const std::string& uid, size_t rows, DWORD timeout_ms = 6000) {
  int polls = 0;
  return gui::wait_until(
      [&] {
        if (polls++ % 20 == 0) ::PostMessageW(dialog, WM_TIMER, 1, 0);
        return gui::control_text(dialog, IDC_UID_EDIT) == widen(uid) && gui::combo_rows(dialog, IDC_PROBE_COMBO).size() == rows;
      },
      timeout_ms);
}

// Row i chosen as the user does: the selection, then the notification the combo box would send.
inline void select_row(HWND dialog, int row) {
  HWND combo = gui::control(dialog, IDC_PROBE_COMBO);
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PROBE_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

inline bool list_operation_running() {
  for (const char* name : {"Global\\wdi_create_list", "Global\\wdi_destroy_list"}) {
    HANDLE h = ::OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (h != nullptr) {
      ::CloseHandle(h);
      return true;
    }
  }
  return false;
}

// Every thread of the application suspended outside any enumeration: lab changes made meanwhile
// reach the dialog at its next refresh all at once, and enumerations of the test do not collide
// with the dialog's.
class frozen_app {
 public:
  explicit frozen_app(DWORD pid) : pid_(pid) {
    for (int attempt = 0; attempt < 400; ++attempt) {
      suspend();
      if (!list_operation_running()) return;
      resume();
      ::Sleep(5);
    }
  }
  ~frozen_app() { resume(); }
  frozen_app(const frozen_app&) = delete;
  frozen_app& operator=(const frozen_app&) = delete;

 private:
  void suspend() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 t = {};
    t.dwSize = sizeof(t);
    for (BOOL ok = ::Thread32First(snapshot, &t); ok; ok = ::Thread32Next(snapshot, &t)) {
      if (t.th32OwnerProcessID != pid_) continue;
      HANDLE thread = ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, t.th32ThreadID);
      if (thread == nullptr) continue;
      if (::SuspendThread(thread) != static_cast<DWORD>(-1))
        threads_.push_back(thread);
      else
        ::CloseHandle(thread);
    }
    ::CloseHandle(snapshot);
  }
  void resume() {
    for (HANDLE thread : threads_) {
      ::ResumeThread(thread);
      ::CloseHandle(thread);
    }
    threads_.clear();
  }
  DWORD pid_;
  std::vector<HANDLE> threads_;
};

// The UIDs of the attached probes in discovery order, as the engine lists them now. Call it while
// the application is frozen.
inline std::vector<std::string> probe_order() {
  wdi_list_options options = {1, 1, 1};
  wdi_device_entry* list = nullptr;
  std::vector<std::string> uids;
  if (wdi_create_list(&list, &options) == WDI_ST_OK) {
    for (const ProbeRecord& r : GroupProbes(list)) uids.push_back(ProbeUidOf(r));
  }
  wdi_destroy_list(list);
  return uids;
}

inline velmor_lab::probe_spec probe(const std::string& instance, velmor_lab::driver_state mi0,
                                    velmor_lab::driver_state mi3, velmor_lab::driver_state mi4) {
  velmor_lab::probe_spec p;
  p.instance = instance;
  p.mi[0].state = mi0;
  p.mi[3].state = mi3;
  p.mi[4].state = mi4;
  return p;
}

}  // namespace probe_view
