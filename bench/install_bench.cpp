// What a user of the command line waits for when installing: the app started with
// `/install /quiet /force` to its exit, for one interface and for all three, one probe attached, against a
// floor program that does the least an installation needs with plain calls (install_floor.cpp):
// one run of it for one interface, three runs for three.
//   install_bench <app.exe> <install_floor.exe> <bare program of the installer's bitness> [rounds]
// Plants its own probe through the probe lab and removes it at the end; run it while no device
// test runs. Wine's device installer finds the WinUSB package's co-installers only in the package
// root: they are put there as soon as a package folder appears, for both sides alike.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "probe_lab.h"
#include "co_installer_feeder.h"
#include "test_support.h"
#include "win/handles.h"

namespace {

using bench::now_ms;

constexpr char kInstance[] = "BE4C0002";
constexpr DWORD kSettleMs = 100;
constexpr DWORD kGiveUpMs = 120000;

double start_and_wait(const std::string& command_line, HANDLE output, DWORD* exit_code) {
  std::string line = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION started = {};
  ::Sleep(kSettleMs);  // each start from a settled system (list_bench.cpp says why)
  double t0 = now_ms();
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) return -1;
  // Wine's device installer can wait for ever on a package it cannot complete: such a run is ended
  // and counted as failed rather than holding the whole bench.
  bool ended = ::WaitForSingleObject(started.hProcess, kGiveUpMs) == WAIT_OBJECT_0;
  double ms = now_ms() - t0;
  if (!ended) ::TerminateProcess(started.hProcess, 1);
  ::GetExitCodeProcess(started.hProcess, exit_code);
  if (!ended) *exit_code = WAIT_TIMEOUT;
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return ms;
}


struct side_by_side {
  std::vector<double> app, floor;
  int failures = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <app.exe> <install_floor.exe> <bare program> [rounds]\n", argv[0]);
    return 2;
  }
  const int rounds = bench::count_arg(argc, argv, 4, 8);
  const std::string folder = bench::scratch_folder("install_bench");
  // The app's packages (the user's copies) and the floor's go into the bench's folder.
  ::SetEnvironmentVariableA("USERPROFILE", folder.c_str());
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  velmor::unique_file output_file(::CreateFileA((folder + "\\out.txt").c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS, 0,
                                               nullptr));
  HANDLE output = output_file.get();

  velmor_lab::probe_spec probe;
  probe.instance = kInstance;
  if (!velmor_lab::plant_probe(probe)) {
    std::fprintf(stderr, "install_bench: cannot plant the probe\n");
    return 1;
  }
  wine_test::co_installer_feeder feeder(COINSTALLER_UNIX_DIR);
  // /force: after the first run the probe has this tool's drivers, and a plain /install would leave
  // them alone ("already installed") while the floor still installs.
  const std::string app = "\"" + std::string(argv[1]) + "\" /install /quiet /force /interfaces ";
  const std::string floor = "\"" + std::string(argv[2]) + "\" \"" + argv[3] + "\" \"" + folder + "\" ";
  // The same floor with a bare program that starts as the installer program must (beside the plain
  // one): what the floor leaves out of a second process is told apart from the engine's own cost.
  std::string like_installer = argv[3];
  const size_t name_at = like_installer.find_last_of("\\/");
  like_installer = like_installer.substr(0, name_at + 1) + "installer_like_console.exe";
  const std::string floor_like = "\"" + std::string(argv[2]) + "\" \"" + like_installer + "\" \"" + folder + "\" ";
  DWORD code = 0;
  // The app leaves the INFs the floor copies; both sides start with a warm file cache.
  start_and_wait(app + "usart,bridge,winusb", output, &code);
  start_and_wait(floor + "usart bridge winusb", output, &code);
  // Where the time goes: the app's own time-stamped log of one more run, its device list left out.
  const std::string log = folder + "\\install.log";
  start_and_wait(app + "usart,bridge,winusb /log \"" + log + "\"", output, &code);
  std::printf("install_bench (%d-bit): the log of a run of three interfaces\n", static_cast<int>(sizeof(void*) * 8));
  std::string lines = wine_test::read_file(log);
  for (size_t at = 0, end; at < lines.size(); at = end + 1) {
    end = lines.find('\n', at);
    if (end == std::string::npos) end = lines.size();
    std::string line = lines.substr(at, end - at);
    if (line.find("[wdi_create_list]") == std::string::npos) std::printf("  %s\n", line.c_str());
  }

  side_by_side one, three;
  std::vector<double> one_process_floor, one_like_floor;
  for (int i = 0; i < rounds; ++i) {  // interleaved, so that drift hits both sides alike
    one.app.push_back(start_and_wait(app + "usart", output, &code));
    one.failures += code != 0;
    one.floor.push_back(start_and_wait(floor + "usart", output, &code));
    one.failures += code != 0;
    one_like_floor.push_back(start_and_wait(floor_like + "usart", output, &code));
    one.failures += code != 0;
    three.app.push_back(start_and_wait(app + "usart,bridge,winusb", output, &code));
    three.failures += code != 0;
    // Three floors, one per interface, as three separate installations would each pay their own
    // start; beside it one floor process doing all three, which loads the device installer once.
    double floors = 0;
    for (const char* name : {"usart", "winusb", "bridge"}) {
      floors += start_and_wait(floor + name, output, &code);
      three.failures += code != 0;
    }
    three.floor.push_back(floors);
    one_process_floor.push_back(start_and_wait(floor + "usart bridge winusb", output, &code));
    three.failures += code != 0;
  }
  velmor_lab::unplug_probe(kInstance);
  output_file.reset();

  std::printf("install_bench (%d-bit), %d rounds (medians)\n", static_cast<int>(sizeof(void*) * 8), rounds);
  for (const auto& [label, s] : {std::make_pair("one interface", &one), std::make_pair("three interfaces", &three)}) {
    double a = bench::median(s->app), f = bench::median(s->floor);
    std::printf("  %s: /install /quiet %.1f ms (fastest %.1f), floor %.1f ms (fastest %.1f), ratio %.2f, %d failed\n",
                label, a, bench::fastest(s->app), f, bench::fastest(s->floor), f > 0 ? a / f : 0.0, s->failures);
    char name[80];
    std::snprintf(name, sizeof(name), "/install /quiet, %s, vs its floor", label);
    bench::figure(name, "x", 1.25, f > 0 ? a / f : 0.0);
  }
  double like = bench::median(one_like_floor);
  std::printf("  one interface against a floor whose program starts as the installer must (the device installer's "
              "modules, a COM apartment): floor %.1f ms, ratio %.2f\n",
              like, like > 0 ? bench::median(one.app) / like : 0.0);
  bench::figure("  the same, vs a floor whose program starts as the installer's must", "x", 1.25,
                like > 0 ? bench::median(one.app) / like : 0.0);
  double single = bench::median(one_process_floor);
  std::printf("  three interfaces against one floor process doing all three: floor %.1f ms, ratio %.2f\n", single,
              single > 0 ? bench::median(three.app) / single : 0.0);
  wine_test::remove_tree(folder);
  return one.failures + three.failures == 0 ? 0 : 1;
}
