// Milliseconds from the performance counter, for the timing programs (the
// window driver, the WinINet floor and the Windows benchmarks). Header-only,
// so programs that need nothing else of the test support can use it.
#pragma once

#include <windows.h>

namespace orvalin::testing {

inline double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticksPerMs;
}

}  // namespace orvalin::testing
