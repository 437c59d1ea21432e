// What a dialog left open for days costs: the app started without arguments, one probe attached,
// refreshed 10,000 times by timer messages as fast as it takes them; handles, private bytes and
// GDI objects every 1,000 refreshes. The figures are the growth from the end of a warm-up (the
// first fifth: caches and the heap settle) to the end; the series shows a step apart from a slope.
//   soak_bench <app.exe> [refreshes]
// Plants its own probe through the probe lab and removes it at the end; run it while no device
// test runs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_timing.h"
#include "probe_lab.h"
#include "process_usage.h"
#include "test_support.h"

namespace {

constexpr char kInstance[] = "BE4C0004";
constexpr wchar_t kCaption[] = L"Velmor_Korvex_DriverInstall_V2.0.00";
constexpr int kSampleEvery = 1000;

void print(const char* when, int refreshes, const wine_test::process_usage& u) {
  std::printf("  %-4s after %5d refreshes: %lu handles, %lu KiB private, %lu GDI objects\n", when,
              refreshes, u.handles, static_cast<unsigned long>(u.private_bytes / 1024),
              static_cast<unsigned long>(u.gdi_objects));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <app.exe> [refreshes]\n", argv[0]);
    return 2;
  }
  int refreshes = argc > 2 ? std::atoi(argv[2]) : 10000;
  if (refreshes < 2 * kSampleEvery) refreshes = 2 * kSampleEvery;
  const int warm_up = refreshes / 5;
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "velmor_soak_bench_" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(folder.c_str(), nullptr);
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
  wine_test::process_usage warm, end;
  std::printf("soak_bench (%d-bit), one probe attached\n", static_cast<int>(sizeof(void*) * 8));
  double t0 = bench::now_ms();
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    failed_at = -1;
  } else {
    HWND dialog = wine_test::wait_window(kCaption, started.dwProcessId, 20000);
    for (int i = 1; i <= refreshes && failed_at == 0; ++i) {
      DWORD_PTR ignored = 0;
      if (dialog == nullptr || !::SendMessageTimeoutW(dialog, WM_TIMER, 1, 0, SMTO_NORMAL, 10000, &ignored)) failed_at = i;
      if (i == warm_up) warm = wine_test::usage_of(started.dwProcessId);
      if (i % kSampleEvery == 0) print("", i, wine_test::usage_of(started.dwProcessId));
    }
    end = wine_test::usage_of(started.dwProcessId);
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
  print("warm", warm_up, warm);
  print("end", refreshes, end);
  auto growth = [](double from, double to) { return to > from ? to - from : 0.0; };
  char name[96];
  std::snprintf(name, sizeof(name), "Handles gained, refresh %d to %d", warm_up, refreshes);
  bench::figure(name, "", 0, growth(warm.handles, end.handles));
  std::snprintf(name, sizeof(name), "Private KiB gained, refresh %d to %d", warm_up, refreshes);
  bench::figure(name, "KiB", 0, growth(warm.private_bytes / 1024.0, end.private_bytes / 1024.0));
  if (warm.gdi_objects == 0) {
    std::printf("  GDI objects: not counted for the app by this system\n");
  } else {
    std::snprintf(name, sizeof(name), "GDI objects gained, refresh %d to %d", warm_up, refreshes);
    bench::figure(name, "", 0, growth(warm.gdi_objects, end.gdi_objects));
  }
  return 0;
}
