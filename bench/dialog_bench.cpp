// What a user sees first: the app started without arguments to the first paint of its dialog with
// one probe in the list, against a bare dialog program with the app's resources that fills in one
// row at its start and paints it (bare_dialog.cpp).
//   dialog_bench <app.exe> <bare_dialog.exe> [rounds]
// "Painted" is read from outside, alike for both: the dialog is visible, its probe list has a row,
// and neither the dialog nor the list has anything left to paint. Plants its own probe through the
// probe lab and removes it at the end; run it while no device test runs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench_timing.h"
#include "probe_lab.h"
#include "test_support.h"

namespace {

using bench::now_ms;

constexpr char kInstance[] = "BE4C0003";
constexpr wchar_t kCaption[] = L"Velmor_Korvex_DriverInstall_V2.0.00";
constexpr DWORD kSettleMs = 100;
constexpr double kGiveUpMs = 20000;

bool nothing_to_paint(HWND window) { return !::GetUpdateRect(window, nullptr, FALSE); }

bool shows_a_row(HWND dialog) {
  if (!::IsWindowVisible(dialog)) return false;
  HWND combo = ::GetDlgItem(dialog, IDC_PROBE_COMBO);
  DWORD_PTR rows = 0;
  return combo != nullptr && ::SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 1000, &rows) &&
         static_cast<LRESULT>(rows) >= 1;
}

bool painted(HWND dialog) { return nothing_to_paint(dialog) && nothing_to_paint(::GetDlgItem(dialog, IDC_PROBE_COMBO)); }

struct timing {
  double row_ms = -1;    // visible with its row, maybe not yet painted
  double paint_ms = -1;  // and painted
};

// Starts the program, polls for its painted dialog, closes it; -1 for what did not happen.
timing start_to_paint(const std::string& command_line) {
  std::string line = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  ::Sleep(kSettleMs);  // each start from a settled system (list_bench.cpp says why)
  double t0 = now_ms();
  timing t;
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) return t;
  HWND dialog = nullptr;
  while (now_ms() - t0 < kGiveUpMs) {
    if (dialog == nullptr) dialog = wine_test::find_window(kCaption, started.dwProcessId);
    if (dialog != nullptr && t.row_ms < 0 && shows_a_row(dialog)) t.row_ms = now_ms() - t0;
    if (t.row_ms >= 0 && painted(dialog)) {
      t.paint_ms = now_ms() - t0;
      break;
    }
    // The poll's own pause bounds the figure's resolution; both sides pay it alike.
    ::Sleep(1);
  }
  if (dialog != nullptr) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(started.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(started.hProcess, 1);
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <app.exe> <bare_dialog.exe> [rounds]\n", argv[0]);
    return 2;
  }
  const int rounds = bench::count_arg(argc, argv, 3, 20);  const std::string folder = bench::scratch_folder("dialog_bench");
  ::SetEnvironmentVariableA("USERPROFILE", folder.c_str());

  velmor_lab::probe_spec probe;
  probe.instance = kInstance;
  if (!velmor_lab::plant_probe(probe)) {
    std::fprintf(stderr, "dialog_bench: cannot plant the probe\n");
    return 1;
  }
  const std::string app = "\"" + std::string(argv[1]) + "\"";
  const std::string bare = "\"" + std::string(argv[2]) + "\"";
  start_to_paint(app);  // warm the file cache on both sides
  start_to_paint(bare);
  std::vector<double> apps, bares, app_rows, bare_rows;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {  // interleaved, so that drift hits both sides alike
    timing a = start_to_paint(app), b = start_to_paint(bare);
    if (a.paint_ms < 0 || b.paint_ms < 0) {
      ++failures;
      continue;
    }
    apps.push_back(a.paint_ms);
    bares.push_back(b.paint_ms);
    app_rows.push_back(a.row_ms);
    bare_rows.push_back(b.row_ms);
  }
  velmor_lab::unplug_probe(kInstance);
  wine_test::remove_tree(folder);

  double app_ms = bench::median(apps), bare_ms = bench::median(bares);
  std::printf("dialog_bench (%d-bit), %d rounds, %d failed (medians)\n", static_cast<int>(sizeof(void*) * 8), rounds,
              failures);
  std::printf("  app start to a painted list with one probe %.1f ms (fastest %.1f), bare dialog %.1f ms (fastest %.1f)\n",
              app_ms, bench::fastest(apps), bare_ms, bench::fastest(bares));
  std::printf("  of which seen with its row, not yet painted: app %.1f ms, bare dialog %.1f ms\n", bench::median(app_rows),
              bench::median(bare_rows));
  bench::figure("Dialog start to its first painted probe list vs a bare dialog", "x", 1.3,
                bare_ms > 0 ? app_ms / bare_ms : 0.0);
  return failures == 0 ? 0 : 1;
}
