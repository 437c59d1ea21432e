// What a dialog left open for days costs: the app started without arguments, one probe attached,
// refreshed 10,000 times by timer messages as fast as it takes them; handles, private bytes and
// GDI objects sampled after every tenth of the refreshes. A figure is the growth from the lowest of
// the samples at 20-40% (after a warm-up in which caches and the heap settle) to the lowest of those
// at 80-100%: a leak raises the low, an object or page that comes and goes with a paint does not.
//   soak_bench <app.exe> [refreshes]
// Plants its own probe through the probe lab and removes it at the end; run it while no device
// test runs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "probe_lab.h"
#include "process_usage.h"
#include "test_support.h"

namespace {

constexpr char kInstance[] = "BE4C0004";
constexpr wchar_t kCaption[] = L"Velmor_Korvex_DriverInstall_V2.0.00";
constexpr int kSamples = 10;

// A dialog fed timer messages back to back paints only when its queue runs dry: each sample is
// taken once the dialog and its controls have nothing left to paint, so that a late first paint
// (its fonts and brushes) does not look like growth.
BOOL CALLBACK child_to_paint(HWND child, LPARAM pending) {
  if (::GetUpdateRect(child, nullptr, FALSE)) *reinterpret_cast<bool*>(pending) = true;
  return TRUE;
}

bool painted(HWND dialog) {
  bool pending = ::GetUpdateRect(dialog, nullptr, FALSE) != FALSE;
  ::EnumChildWindows(dialog, child_to_paint, reinterpret_cast<LPARAM>(&pending));
  return !pending;
}

void print(int refreshes, const wine_test::process_usage& u) {
  std::printf("  after %5d refreshes: %lu handles, %lu KiB private, %lu GDI objects\n", refreshes, u.handles,
              static_cast<unsigned long>(u.private_bytes / 1024),
              static_cast<unsigned long>(u.gdi_objects));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <app.exe> [refreshes]\n", argv[0]);
    return 2;
  }
  int refreshes = argc > 2 ? std::atoi(argv[2]) : 10000;
  if (refreshes < 10 * kSamples) refreshes = 10 * kSamples;
  const int sample_every = refreshes / kSamples;
  const std::string folder = bench::scratch_folder("soak_bench");
  ::SetEnvironmentVariableA("USERPROFILE", folder.c_str());

  velmor_lab::probe_spec probe;
  probe.instance = kInstance;
  if (!velmor_lab::plant_probe(probe)) {
    std::fprintf(stderr, "soak_bench: cannot plant the probe\n");
    return 1;
  }
  std::string line = "\"" + std::string(argv[1]) + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  int failed_at = 0;
  std::vector<wine_test::process_usage> samples;
  std::printf("soak_bench (%d-bit), one probe attached\n", static_cast<int>(sizeof(void*) * 8));
  double t0 = bench::now_ms();
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    failed_at = -1;
  } else {
    HWND dialog = wine_test::wait_window(kCaption, started.dwProcessId, 20000);
    for (int i = 1; i <= refreshes && failed_at == 0; ++i) {
      DWORD_PTR ignored = 0;
      if (dialog == nullptr || !::SendMessageTimeoutW(dialog, WM_TIMER, 1, 0, SMTO_NORMAL, 10000, &ignored)) failed_at = i;
      if (failed_at == 0 && i % sample_every == 0 && samples.size() < kSamples) {
        wine_test::wait_until([&] { return painted(dialog); }, 10000);
        samples.push_back(wine_test::usage_of(started.dwProcessId));
        print(i, samples.back());
      }
    }
    if (dialog != nullptr) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(started.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(started.hProcess, 1);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
  }
  double elapsed = bench::now_ms() - t0;
  velmor_lab::unplug_probe(kInstance);
  wine_test::remove_tree(folder);
  if (failed_at != 0) {
    std::printf("soak_bench (%d-bit): the app stopped answering at refresh %d\n", static_cast<int>(sizeof(void*) * 8),
                failed_at);
    return 1;
  }

  std::printf("  %d refreshes in %.1f s\n", refreshes, elapsed / 1000.0);
  // The low of samples [from, to) of one counter.
  auto low = [&](size_t from, size_t to, double (*counter)(const wine_test::process_usage&)) {
    double lowest = counter(samples[from]);
    for (size_t i = from + 1; i < to; ++i) lowest = std::min(lowest, counter(samples[i]));
    return lowest;
  };
  struct counter_row {
    const char* name;
    const char* unit;
    double goal;
    double (*counter)(const wine_test::process_usage&);
  };
  const counter_row rows[] = {
      {"Handles", "", 0, [](const wine_test::process_usage& u) { return static_cast<double>(u.handles); }},
      // Private bytes move by a page or two as the heap breathes; at least 4,000 refreshes lie between
      // the two windows, so four pages still show a leak of four bytes a refresh.
      {"Private KiB", "KiB", 16, [](const wine_test::process_usage& u) { return u.private_bytes / 1024.0; }},
      {"GDI objects", "", 0, [](const wine_test::process_usage& u) { return static_cast<double>(u.gdi_objects); }},
  };
  for (const counter_row& row : rows) {
    if (row.counter(samples[1]) == 0) {
      std::printf("  %s: not counted for the app by this system\n", row.name);
      continue;
    }
    double gained = low(kSamples - 3, kSamples, row.counter) - low(1, 4, row.counter);
    char name[96];
    std::snprintf(name, sizeof(name), "%s gained over %d refreshes (lows of 20-40%% vs 80-100%%)", row.name, refreshes);
    bench::figure(name, row.unit, row.goal, gained > 0 ? gained : 0.0);
  }
  return 0;
}
