// What a user of the command line waits for: the app started with /list to its exit, one probe
// attached, against starting and ending a bare program of the same size (the bare program padded
// to the app's size, so that reading the file costs both sides alike). Beside it, the same bare
// program importing the app's system modules (bare_program_imports.exe next to bare_program.exe),
// which tells their loading apart from the app's own work.
//   list_bench <app.exe> <bare_program.exe> [rounds]
// Plants its own probe through the probe lab and removes it at the end; run it while no device
// test runs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "probe_lab.h"
#include "test_support.h"

namespace {

using bench::now_ms;

constexpr char kInstance[] = "BE4C0001";
constexpr DWORD kSettleMs = 100;

// Starts the command line and waits for its end; milliseconds, or -1 when it did not start. The
// program's output goes to `output`.
double start_and_wait(const std::string& command_line, HANDLE output, DWORD* exit_code) {
  std::string line = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION started = {};
  // A start right after the previous program's end overlaps its tear-down: under Wine such starts
  // fall ~30 ms later about half the time, for the bare program as much as for the app, and the
  // medians then measure that mix. Each start begins from a settled system.
  ::Sleep(kSettleMs);
  double t0 = now_ms();
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) return -1;
  ::WaitForSingleObject(started.hProcess, INFINITE);
  double ms = now_ms() - t0;
  ::GetExitCodeProcess(started.hProcess, exit_code);
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return ms;
}

DWORD file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return data.nFileSizeLow;
}

// A copy of the bare program grown to `size` bytes (the loader ignores what follows the image).
bool padded_copy(const std::string& from, const std::string& to, DWORD size) {
  if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) return false;
  DWORD have = file_size(to);
  if (have >= size) return true;
  HANDLE out = ::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  ::SetFilePointer(out, 0, nullptr, FILE_END);
  std::vector<char> zeros(size - have, '\0');
  DWORD written = 0;
  bool ok = ::WriteFile(out, zeros.data(), static_cast<DWORD>(zeros.size()), &written, nullptr) && written == zeros.size();
  ::CloseHandle(out);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <app.exe> <bare_program.exe> [rounds]\n", argv[0]);
    return 2;
  }
  const int rounds = bench::count_arg(argc, argv, 3, 20);
  const std::string folder = bench::scratch_folder("list_bench");
  // The app's profile (its log file) and output stay in the bench's folder.
  ::SetEnvironmentVariableA("USERPROFILE", folder.c_str());
  const std::string bare = folder + "\\bare_program.exe";
  const std::string with_imports = folder + "\\bare_program_imports.exe";
  std::string imports_source = argv[2];
  size_t name_at = imports_source.find_last_of("\\/");
  imports_source = imports_source.substr(0, name_at == std::string::npos ? 0 : name_at + 1) + "bare_program_imports.exe";
  DWORD app_size = file_size(argv[1]);
  if (app_size == 0 || !padded_copy(argv[2], bare, app_size) || !padded_copy(imports_source, with_imports, app_size)) {
    std::fprintf(stderr, "list_bench: cannot prepare the bare program\n");
    return 1;
  }
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const std::string out_path = folder + "\\out.txt";
  HANDLE output = ::CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                CREATE_ALWAYS, 0, nullptr);

  velmor_lab::probe_spec probe;
  probe.instance = kInstance;
  if (!velmor_lab::plant_probe(probe)) {
    std::fprintf(stderr, "list_bench: cannot plant the probe\n");
    return 1;
  }
  const std::string list_command = "\"" + std::string(argv[1]) + "\" /list";
  const std::string bare_command = "\"" + bare + "\"";
  const std::string imports_command = "\"" + with_imports + "\"";
  DWORD code = 0;
  start_and_wait(list_command, output, &code);  // warm the file cache on both sides
  start_and_wait(bare_command, output, &code);
  std::vector<double> lists, bares, imports;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {  // interleaved, so that drift hits both sides alike
    lists.push_back(start_and_wait(list_command, output, &code));
    if (code != 0) ++failures;
    bares.push_back(start_and_wait(bare_command, output, &code));
    imports.push_back(start_and_wait(imports_command, output, &code));
  }
  velmor_lab::unplug_probe(kInstance);
  ::CloseHandle(output);

  double list_ms = bench::median(lists), bare_ms = bench::median(bares);
  std::printf("list_bench (%d-bit), %d rounds, %d failed, %lu-byte programs (medians)\n",
              static_cast<int>(sizeof(void*) * 8), rounds, failures, static_cast<unsigned long>(app_size));
  std::printf("  /list with one probe %.2f ms (fastest %.2f), bare program %.2f ms (fastest %.2f), ratio %.2f\n", list_ms,
              bench::fastest(lists), bare_ms, bench::fastest(bares), bare_ms > 0 ? list_ms / bare_ms : 0.0);
  std::printf("  bare program importing the app's system modules %.2f ms (fastest %.2f)\n", bench::median(imports),
              bench::fastest(imports));
  // The goal is against the bare program with the app's imports: the system modules' loading is
  // the system's, the rest is the app's own. Beside it, the first round's figure against the bare one.
  double imports_ms = bench::median(imports);
  bench::figure("/list with one probe vs a bare program with the app's imports", "x", 1.2,
                imports_ms > 0 ? list_ms / imports_ms : 0.0);
  bench::figure("  the same, vs a bare program (first round)", "x", 1.5, bare_ms > 0 ? list_ms / bare_ms : 0.0);
  wine_test::remove_tree(folder);
  return failures == 0 ? 0 : 1;
}
