// The runner's own cost for one scripted installation: wdi_install_driver in standard mode against
// the scripted installer's "normal" scenario (start, three requests, log lines, status, exit), minus
// what starting and reaping the same program costs without the engine. Then where a run's time
// goes: its phases, timed by the engine's own log lines, the pipe's creation, and the progress
// window's start and end.
//   runner_overhead_bench.exe <scripted_installer.exe> [rounds]
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "engine/common/log.h"
#include "engine/install/install.h"
#include "engine/install/progress_window.h"
#include "prepared_for_tests.h"

namespace {

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point start) {
  return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

using bench::median;

// The engine's log lines of one run with the time each arrived.
struct stamped_line {
  clock_type::time_point at;
  std::string text;
};
std::vector<stamped_line> log_lines;

void stamp(int, const char* line) { log_lines.push_back({clock_type::now(), line}); }

// Milliseconds from `start` to the first line holding `text`; negative when there is none.
double line_at(const char* text, clock_type::time_point start) {
  for (const stamped_line& l : log_lines) {
    if (l.text.find(text) != std::string::npos) return std::chrono::duration<double, std::milli>(l.at - start).count();
  }
  return -1;
}

clock_type::time_point routine_ran;

int empty_routine(void*) {
  routine_ran = clock_type::now();
  return 0;
}

// A hidden top-level window to own the progress window, as the dialog does.
HWND make_owner() {
  return ::CreateWindowExA(0, "STATIC", "runner bench", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

// Starting the program on its own: it exits at once without touching the pipe.
double bare_start(const std::string& program, const std::string& folder) {
  std::string command = "\"" + program + "\" never_connect";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  auto start = clock_type::now();
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, folder.c_str(),
                        &startup, &started)) {
    return -1;
  }
  ::WaitForSingleObject(started.hProcess, INFINITE);
  double ms = ms_since(start);
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return ms;
}

// The same start as the engine makes it where the user is an administrator on Vista and later
// (Wine counts as both): through the shell with the "runas" verb.
double bare_shell_start(const std::string& program, const std::string& folder) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "runas";
  info.lpFile = program.c_str();
  info.lpParameters = "never_connect";
  info.lpDirectory = folder.c_str();
  info.nShow = SW_HIDE;
  auto start = clock_type::now();
  if (!::ShellExecuteExA(&info) || info.hProcess == nullptr) return -1;
  ::WaitForSingleObject(info.hProcess, INFINITE);
  double ms = ms_since(start);
  ::CloseHandle(info.hProcess);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <scripted_installer.exe> [rounds]\n", argv[0]);
    return 2;
  }
  int rounds = argc > 2 ? std::atoi(argv[2]) : 30;
  engine_log_level = LOG_ERROR;

  const std::string folder = bench::scratch_folder("runner_bench");
  for (const char* name : {"installer_x86.exe", "installer_x64.exe"}) {
    if (!::CopyFileA(argv[1], (folder + "\\" + name).c_str(), FALSE)) {
      std::fprintf(stderr, "runner_overhead_bench: cannot copy %s into %s (error %lu)\n", argv[1], folder.c_str(),
                   static_cast<unsigned long>(::GetLastError()));
      return 1;
    }
  }
  const std::string program = folder + (sizeof(void*) == 4 ? "\\installer_x64.exe" : "\\installer_x86.exe");

  char instance_id[] = "USB\\VID_2E3C&PID_F000&MI_00\\6&1A2B3C4D&0&0000";
  char hardware_id[] = "USB\\VID_2E3C&PID_F000&REV_0100&MI_00";
  wdi_device_entry device = {};
  device.instance_id = instance_id;
  device.first_hardware_id = hardware_id;

  std::vector<double> installs, starts, shell_starts;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {
    // Prepared as the engine requires: outside the measured time.
    if (runner_test::adopt_as_prepared(folder, "normal").empty()) ++failures;
    auto start = clock_type::now();
    if (wdi_install_driver(&device, folder.c_str(), "normal", nullptr) != 0) ++failures;
    installs.push_back(ms_since(start));
    starts.push_back(bare_start(program, folder));
    shell_starts.push_back(bare_shell_start(program, folder));
  }

  // Phases of a run, from the lines the engine logs on the way.
  const char* const marks[] = {"got request for device_id", "got request for hardware_id", "scripted installer log line",
                               "installer process completed"};
  std::vector<double> phase[5];
  for (int i = 0; i < rounds; ++i) {
    log_lines.clear();
    runner_test::adopt_as_prepared(folder, "normal");
    engine_log_set_receiver(stamp);
    auto start = clock_type::now();
    wdi_install_driver(&device, folder.c_str(), "normal", nullptr);
    double end = ms_since(start);
    engine_log_set_receiver(nullptr);
    double previous = 0;
    for (int m = 0; m < 4; ++m) {
      double at = line_at(marks[m], start);
      phase[m].push_back(at - previous);
      previous = at;
    }
    phase[4].push_back(end - previous);
  }

  // The pipe as the engine makes it, under a name of its own.
  std::vector<double> pipes;
  for (int i = 0; i < rounds; ++i) {
    auto start = clock_type::now();
    HANDLE pipe = ::CreateNamedPipeA("\\\\.\\pipe\\velmor_runner_bench", PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event != nullptr) ::CloseHandle(event);
    if (pipe != INVALID_HANDLE_VALUE) ::CloseHandle(pipe);
    pipes.push_back(ms_since(start));
  }

  // The progress window around a routine that returns at once, and a scripted run under it.
  std::vector<double> windows, window_starts, window_ends, windowed;
  HWND owner = make_owner();
  wdi_install_options with_window = {};
  with_window.owner_window = owner;
  for (int i = 0; owner != nullptr && i < rounds; ++i) {
    auto start = clock_type::now();
    run_routine_with_progress_bar(owner, nullptr, empty_routine, nullptr);
    windows.push_back(ms_since(start));
    window_starts.push_back(std::chrono::duration<double, std::milli>(routine_ran - start).count());
    window_ends.push_back(ms_since(routine_ran));
    if (runner_test::adopt_as_prepared(folder, "normal").empty()) ++failures;
    start = clock_type::now();
    if (wdi_install_driver(&device, folder.c_str(), "normal", &with_window) != 0) ++failures;
    windowed.push_back(ms_since(start));
  }
  if (owner != nullptr) ::DestroyWindow(owner);
  for (const char* name : {"installer_x86.exe", "installer_x64.exe", "started.txt", "pid.txt", "replies.txt"}) {
    ::DeleteFileA((folder + "\\" + name).c_str());
  }
  ::RemoveDirectoryA(folder.c_str());


  double install_ms = median(installs);
  double start_ms = median(starts);
  double install_min = *std::min_element(installs.begin(), installs.end());
  double start_min = *std::min_element(starts.begin(), starts.end());
  std::printf("engine %d-bit, %d rounds, %d failed\n", static_cast<int>(sizeof(void*) * 8), rounds, failures);
  std::printf("                                  median       min\n");
  std::printf("  scripted installation        %9.2f %9.2f ms\n", install_ms, install_min);
  std::printf("  bare start and exit          %9.2f %9.2f ms\n", start_ms, start_min);
  std::printf("  engine overhead per install  %9.2f %9.2f ms\n", install_ms - start_ms, install_min - start_min);
  // Process starts vary by tens of milliseconds on a shared machine: each installation is set
  // against the bare start right after it, and the median of those differences is the figure.
  std::vector<double> differences;
  for (size_t i = 0; i < installs.size(); ++i) differences.push_back(installs[i] - starts[i]);
  double overhead = median(differences);
  std::printf("  engine overhead, median of paired differences %.2f ms\n", overhead);
  std::printf("  bare start and exit through the shell (runas) %.2f ms, %.2f ms over the plain start (medians)\n",
              median(shell_starts), median(shell_starts) - start_ms);
  const char* const phase_names[5] = {"pipe, start, connection", "device ID round trip", "hardware ID, SID round trips",
                                      "log lines, status, end", "installer exit, release"};
  std::printf("  phases of a run (medians):");
  for (int m = 0; m < 5; ++m) std::printf(" %s %.2f;", phase_names[m], median(phase[m]));
  std::printf(" ms\n");
  std::printf("  pipe and event created and closed %.3f ms; progress window around an empty routine %.2f ms"
              " (start %.2f, end %.2f); scripted installation under the progress window %.2f ms (medians)\n",
              median(pipes), median(windows), median(window_starts), median(window_ends), median(windowed));
  bench::figure("Runner overhead per scripted installation", "ms", 10, overhead);
  return failures == 0 ? 0 : 1;
}
