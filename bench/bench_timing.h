// Timing helpers shared by the benchmark programs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
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

}  // namespace bench
