// Package preparation against its floor: writing the very same files with plain Windows calls.
//   prepare_bench [iterations]
// Prints, per driver kind, the mean time of one preparation, of writing its bytes, and the ratio.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/log.h"
#include "engine/prepare.h"

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

// The floor: the same folders and bytes, written with nothing else around them.
void write_floor(const std::string& root, const std::vector<file_copy>& files) {
  ::CreateDirectoryA(root.c_str(), nullptr);
  for (const file_copy& f : files) {
    size_t slash = 0;
    while ((slash = f.relative.find('\\', slash)) != std::string::npos) {
      ::CreateDirectoryA((root + "\\" + f.relative.substr(0, slash)).c_str(), nullptr);
      ++slash;
    }
    HANDLE out = ::CreateFileA((root + "\\" + f.relative).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) continue;
    DWORD written = 0;
    ::WriteFile(out, f.bytes.data(), static_cast<DWORD>(f.bytes.size()), &written, nullptr);
    ::CloseHandle(out);
  }
}

void run(const char* label, int kind, const char* inf_name, int interface_number, int iterations,
         const std::string& temp) {
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

  double t0 = now_ms();
  for (int i = 0; i < iterations; ++i) wdi_prepare_driver(&device, prepared.c_str(), inf_name, &options);
  double prepare_ms = (now_ms() - t0) / iterations;
  write_floor(floor, files);
  t0 = now_ms();
  for (int i = 0; i < iterations; ++i) write_floor(floor, files);
  double floor_ms = (now_ms() - t0) / iterations;
  remove_tree(prepared);
  remove_tree(floor);
  std::printf("%-7s %zu files, %zu bytes: prepare %.2f ms, floor %.2f ms, ratio %.2f\n", label, files.size(), bytes,
              prepare_ms, floor_ms, prepare_ms / floor_ms);
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
  run("CDC", DRIVER_KIND_CDC, "Korvex-USART.inf", 0, iterations, t);
  run("WinUSB", DRIVER_KIND_WINUSB, "Korvex-WinUSB.inf", 3, iterations, t);
  return 0;
}
