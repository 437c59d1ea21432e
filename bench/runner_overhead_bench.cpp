// The runner's own cost for one scripted installation: wdi_install_driver in standard mode against
// the scripted installer's "normal" scenario (start, three requests, log lines, status, exit), minus
// what starting and reaping the same program costs without the engine.
//   runner_overhead_bench.exe <scripted_installer.exe> [rounds]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "engine/common/log.h"
#include "engine/install/install.h"

namespace {

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point start) {
  return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

using bench::median;

// Starting the program on its own: it exits at once without touching the pipe.
double bare_start(const std::string& program, const std::string& folder) {
  std::string command = "\"" + program + "\" never_connect";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  auto start = clock_type::now();
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(),
                        &startup, &started)) {
    return -1;
  }
  ::WaitForSingleObject(started.hProcess, INFINITE);
  double ms = ms_since(start);
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
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

  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "velmor_runner_bench_" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* name : {"installer_x86.exe", "installer_x64.exe"}) {
    ::CopyFileA(argv[1], (folder + "\\" + name).c_str(), FALSE);
  }
  const std::string program = folder + (sizeof(void*) == 4 ? "\\installer_x64.exe" : "\\installer_x86.exe");

  char instance_id[] = "USB\\VID_2E3C&PID_F000&MI_00\\6&1A2B3C4D&0&0000";
  char hardware_id[] = "USB\\VID_2E3C&PID_F000&REV_0100&MI_00";
  wdi_device_entry device = {};
  device.instance_id = instance_id;
  device.first_hardware_id = hardware_id;

  std::vector<double> installs, starts;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {
    auto start = clock_type::now();
    if (wdi_install_driver(&device, folder.c_str(), "normal", nullptr) != 0) ++failures;
    installs.push_back(ms_since(start));
    starts.push_back(bare_start(program, folder));
  }

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
  return failures == 0 ? 0 : 1;
}
