// Timing helpers shared by the benchmark programs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::bench {

inline double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  return AValues.empty() ? 0.0 : AValues[AValues.size() / 2];
}

// Runs the measured work and its baseline in turn, ARuns times each, and prints the medians.
inline void Compare(const char* AName, const char* ABaselineName, int ARuns, const std::function<void()>& AWork,
                    const std::function<void()>& ABaseline) {
  std::vector<double> work, baseline;
  for (int i = 0; i < ARuns; ++i) {
    double start = NowMs();
    ABaseline();
    baseline.push_back(NowMs() - start);
    start = NowMs();
    AWork();
    work.push_back(NowMs() - start);
  }
  double w = Median(work), b = Median(baseline);
  std::printf("%s: %.1f ms (%s %.1f ms, ratio %.2f)\n", AName, w, ABaselineName, b, b > 0 ? w / b : 0.0);
  std::fflush(stdout);
}

inline void Report(const char* AName, double AValue, const char* AUnit) {
  std::printf("%s: %.1f %s\n", AName, AValue, AUnit);
  std::fflush(stdout);
}

}  // namespace vantrel::bench
