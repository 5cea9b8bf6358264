// A small timing harness for the benchmarks: each figure is the best of a few
// timed runs, per operation, printed as one line beside a baseline measured in
// the same run.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace tavrix::bench {

// Keeps the compiler from dropping a computed value.
template <class T>
inline void KeepAlive(T const& value) {
  asm volatile("" : : "r,m"(value) : "memory");
}

// Nanoseconds per call of fn(i) for i in [0, iterations), best of `runs`.
template <class Fn>
double NsPerOp(size_t iterations, Fn&& fn, int runs = 5) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < iterations; ++i) fn(i);
    const auto end = std::chrono::steady_clock::now();
    const double ns = std::chrono::duration<double, std::nano>(end - start).count();
    best = std::min(best, ns / static_cast<double>(iterations));
  }
  return best;
}

// The median of several runs' figures.
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// "name: 12.3 ns/op (baseline what: 4.5 ns/op, ratio 2.73)"
inline void Report(const std::string& name, double ns, const std::string& baseline,
                   double baselineNs) {
  std::printf("%-44s %9.1f ns/op   baseline %-34s %9.1f ns/op   ratio %6.2f\n", name.c_str(), ns,
              baseline.c_str(), baselineNs, baselineNs > 0 ? ns / baselineNs : 0.0);
}

}  // namespace tavrix::bench
