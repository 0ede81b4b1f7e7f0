// Timing for the benchmarks: the performance counter and the mean time of a call.
#pragma once

#include <windows.h>

namespace kivo::bench {

inline double Now() {
  LARGE_INTEGER f, c;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

// Seconds per call of f over `calls` calls, after one call to warm up.
template <class F>
double SecondsPerCall(F&& f, int calls) {
  f();
  double t0 = Now();
  for (int i = 0; i < calls; ++i) f();
  return (Now() - t0) / calls;
}

}  // namespace kivo::bench
