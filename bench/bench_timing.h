// Timing helpers shared by the benchmark programs, with their count arguments and scratch folders.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// Milliseconds on the performance counter.
inline double now_ms() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline double fastest(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

// One line of the table bench/run.sh prints: a figure, its goal ("<= 1.5x", "<= 10 ms") and what
// was measured, in the goal's unit. The figure's name must not contain '|'.
inline void figure(const char* name, const char* unit, double goal, double measured) {
  std::printf("@figure|%s (%d-bit)|%s|%.2f|%.2f\n", name, static_cast<int>(sizeof(void*) * 8), unit, goal, measured);
}

// A count argument (rounds): argv[index] when given, never below `least`.
inline int count_arg(int argc, char** argv, int index, int fallback, int least = 1) {
  int count = argc > index ? std::atoi(argv[index]) : fallback;
  return count < least ? least : count;
}

// "<TEMP>velmor_<name>_<process ID>", made; the benchmark removes it at its end.
inline std::string scratch_folder(const char* name) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "velmor_" + name + "_" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace bench
