// Package preparation against its floor: the very same file work done with plain Windows calls.
//   prepare_bench [iterations]
// Prints, per driver kind, the median time of one preparation, of writing its bytes, and the ratio;
// then where a preparation's time goes: its phases, timed by the engine's own log lines, and each
// protective step on its own.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/common/log.h"
#include "engine/package/prepare.h"
#include "engine/payload/extract.h"
#include "engine/payload/security.h"

#include "bench_timing.h"
#include "test_support.h"

namespace {

struct file_copy {
  std::string relative;  // below the package folder
  std::string bytes;
};

using bench::now_ms;

void collect(const std::string& root, const std::string& relative, std::vector<file_copy>* files) {
  WIN32_FIND_DATAA fd;
  std::string folder = relative.empty() ? root : root + "\\" + relative;
  HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      collect(root, rel, files);
      continue;
    }
    file_copy f{rel, {}};
    HANDLE in = ::CreateFileA((root + "\\" + rel).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) continue;
    f.bytes.resize(::GetFileSize(in, nullptr));
    DWORD got = 0;
    if (!f.bytes.empty()) ::ReadFile(in, &f.bytes[0], static_cast<DWORD>(f.bytes.size()), &got, nullptr);
    ::CloseHandle(in);
    files->push_back(std::move(f));
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
}

using wine_test::remove_tree;

// The engine's log lines of one preparation with the time each arrived.
struct stamped_line {
  double ms;
  std::string text;
};
std::vector<stamped_line> log_lines;

void stamp(int, const char* line) { log_lines.push_back({now_ms(), line}); }

// Time of the first line holding `text` since `start`; negative when there is none.
double line_at(const char* text, double start) {
  for (const stamped_line& l : log_lines) {
    if (l.text.find(text) != std::string::npos) return l.ms - start;
  }
  return -1;
}

// Median milliseconds of one call of `step`.
template <typename Step>
double median_ms(int iterations, Step step) {
  std::vector<double> times;
  for (int i = 0; i < iterations; ++i) {
    double t0 = now_ms();
    step();
    times.push_back(now_ms() - t0);
  }
  return bench::median(times);
}

// Where the time of one preparation goes.
void print_steps(const wdi_device_entry& device, const std::string& prepared, const char* inf_name,
                 const wdi_prepare_options& options, const std::vector<file_copy>& files, int iterations) {
  std::vector<double> extracted, inf_done, ended;
  for (int i = 0; i < iterations; ++i) {
    log_lines.clear();
    engine_log_set_receiver(stamp);
    double t0 = now_ms();
    wdi_prepare_driver(&device, prepared.c_str(), inf_name, &options);
    double end = now_ms() - t0;
    engine_log_set_receiver(nullptr);
    extracted.push_back(line_at("successfully extracted", t0));
    inf_done.push_back(line_at("successfully created", t0));
    ended.push_back(end);
  }
  double e = bench::median(extracted), d = bench::median(inf_done), n = bench::median(ended);
  std::printf("  phases (medians, ms): folder check and extraction %.2f, INF generation %.2f, the rest %.2f\n", e,
              d - e, n - d);

  const std::string sub = prepared + "\\license\\libusb0";
  const file_copy* sample = &files.front();
  for (const file_copy& f : files) {
    if (f.relative.find('\\') != std::string::npos) sample = &f;  // one in a sub-folder
  }
  const std::string sample_path = prepared + "\\" + sample->relative;
  std::wstring wide_sub(sub.begin(), sub.end());
  double sid = median_ms(iterations, [] { ::LocalFree(get_sid()); });
  double dir = median_ms(iterations, [&] { check_dir(prepared.c_str()); });
  double below = median_ms(iterations, [&] { velmor::check_dir_below(prepared.c_str(), sub.c_str()); });
  double hold = median_ms(iterations, [&] {
    velmor::package_folders folders;
    folders.hold(wide_sub, false, "bench");
  });
  double file_check = median_ms(iterations, [&] {
    velmor::package_file file;
    file.check(prepared.c_str(), sample_path.c_str(), "bench");
  });
  // As the extraction writes it: the folders held once for the package, the file written over.
  velmor::package_folders held;
  velmor::check_dir_below(prepared.c_str(), sub.c_str(), held);
  double write = median_ms(iterations, [&] {
    velmor::write_below(prepared.c_str(), sample_path.c_str(), sample->bytes.data(), sample->bytes.size(), held);
  });
  double plain = median_ms(iterations, [&] {
    HANDLE out = ::CreateFileA(sample_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(out, sample->bytes.data(), static_cast<DWORD>(sample->bytes.size()), &written, nullptr);
    ::CloseHandle(out);
  });
  double extract = median_ms(iterations, [&] { extract_binaries(prepared.c_str()); });
  std::printf("  steps (medians, ms): user SID for a security descriptor %.3f; check_dir of the package folder %.3f;"
              " check_dir_below of a sub-folder %.3f; link check of its folders %.3f; link and hard-link check of a"
              " file %.3f; one file written over in its held folder %.3f (plain calls %.3f); extraction of %zu files %.2f"
              " (%.3f per file)\n",
              sid, dir, below, hold, file_check, write, plain, files.size(), extract,
              extract / static_cast<double>(files.size()));
}

// The floor: the same folders and bytes, written with nothing else around them.
void write_floor(const std::string& root, const std::vector<file_copy>& files, DWORD creation = CREATE_ALWAYS) {
  ::CreateDirectoryA(root.c_str(), nullptr);
  for (const file_copy& f : files) {
    size_t slash = 0;
    while ((slash = f.relative.find('\\', slash)) != std::string::npos) {
      ::CreateDirectoryA((root + "\\" + f.relative.substr(0, slash)).c_str(), nullptr);
      ++slash;
    }
    HANDLE out = ::CreateFileA((root + "\\" + f.relative).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, creation,
                               0, nullptr);
    if (out == INVALID_HANDLE_VALUE) continue;
    DWORD written = 0;
    ::WriteFile(out, f.bytes.data(), static_cast<DWORD>(f.bytes.size()), &written, nullptr);
    ::CloseHandle(out);
  }
}

// A preparation writes its files twice: into a new folder of its own (the copy that is signed and
// installed) and into the user's folder; the previous folder of its own is removed off its path.
// The floor does the same file work with plain calls: a new fresh folder written, the user's folder
// overwritten; its fresh folders are removed after the measurement.
struct two_copy_floor {
  std::string base;
  int serial = 0;
  std::vector<std::string> fresh;

  void write(const std::string& user_folder, const std::vector<file_copy>& files) {
    fresh.push_back(base + "_" + std::to_string(++serial));
    write_floor(fresh.back(), files, CREATE_NEW);
    write_floor(user_folder, files);
  }
  ~two_copy_floor() {
    for (const std::string& f : fresh) remove_tree(f);
  }
};

void run(const char* label, int kind, const char* inf_name, int interface_number, int iterations,
         const std::string& temp, bool steps) {
  wdi_device_entry device = {};
  device.vendor_id = 0x2E3C;
  device.product_id = 0xF000;
  device.is_interface = 1;
  device.interface_number = static_cast<uint8_t>(interface_number);
  char description[] = "Korvex";
  device.description = description;
  wdi_prepare_options options = {};
  options.driver_kind = kind;
  options.skip_catalog = 1;  // the catalog is another subsystem's cost

  std::string prepared = temp + "\\velmor_bench_prepare_" + std::to_string(::GetCurrentProcessId());
  std::string floor = prepared + "_floor";
  if (wdi_prepare_driver(&device, prepared.c_str(), inf_name, &options) != 0) {
    std::printf("%s: preparation failed\n", label);
    return;
  }
  std::vector<file_copy> files;
  collect(prepared, "", &files);
  size_t bytes = 0;
  for (const file_copy& f : files) bytes += f.bytes.size();

  write_floor(floor, files);
  two_copy_floor both{floor + "_own"};
  both.write(floor, files);
  std::vector<double> prepares, floors, one_copy;
  for (int i = 0; i < iterations; ++i) {  // interleaved, so that drift hits both sides alike
    double t0 = now_ms();
    wdi_prepare_driver(&device, prepared.c_str(), inf_name, &options);
    double t1 = now_ms();
    both.write(floor, files);
    double t2 = now_ms();
    write_floor(floor, files);
    double t3 = now_ms();
    prepares.push_back(t1 - t0);
    floors.push_back(t2 - t1);
    one_copy.push_back(t3 - t2);
  }
  double prepare_ms = bench::median(prepares);
  double floor_ms = bench::median(floors);
  double one_copy_ms = bench::median(one_copy);
  std::printf("%-7s %zu files, %zu bytes: prepare %.2f ms, floor %.2f ms (the user's copy alone %.2f ms), ratio %.2f"
              " (%.2f against the user's copy alone)\n",
              label, files.size(), bytes, prepare_ms, floor_ms, one_copy_ms, prepare_ms / floor_ms,
              prepare_ms / one_copy_ms);
  char name[64];
  std::snprintf(name, sizeof(name), "Prepare %s (no catalog) vs plain writes", label);
  bench::figure(name, "x", 1.2, prepare_ms / floor_ms);
  if (steps && !files.empty()) print_steps(device, prepared, inf_name, options, files, iterations);
  remove_tree(prepared);
  remove_tree(floor);
}

}  // namespace

int main(int argc, char** argv) {
  int iterations = argc > 1 ? std::atoi(argv[1]) : 20;
  if (iterations < 1) iterations = 1;
  engine_log_level = LOG_WARNING;  // as the application prepares
  char temp[MAX_PATH];
  DWORD n = ::GetTempPathA(MAX_PATH, temp);
  std::string t(temp, n);
  if (!t.empty() && t.back() == '\\') t.pop_back();
  std::printf("prepare_bench (%d-bit), %d iterations\n", static_cast<int>(sizeof(void*) * 8), iterations);
  run("CDC", DRIVER_KIND_CDC, "Korvex-USART.inf", 0, iterations, t, true);
  run("WinUSB", DRIVER_KIND_WINUSB, "Korvex-WinUSB.inf", 3, iterations, t, false);
  return 0;
}
