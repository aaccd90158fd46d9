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

// The plainest way to read every default value under a root key: enumerate, open, query, close.
// AView: a registry view flag, or 0 for the process's own view.
inline size_t RawDefaultValueLoop(const wchar_t* ARoot, REGSAM AView = 0) {
  HKEY root;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ARoot, 0, KEY_READ | AView, &root) != ERROR_SUCCESS) return 0;
  size_t named = 0;
  wchar_t name[256];
  BYTE value[1024];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY key;
    if (RegOpenKeyExW(root, name, 0, KEY_READ | AView, &key) != ERROR_SUCCESS) continue;
    DWORD type, size = sizeof(value);
    if (RegQueryValueExW(key, nullptr, nullptr, &type, value, &size) == ERROR_SUCCESS) ++named;
    RegCloseKey(key);
  }
  RegCloseKey(root);
  return named;
}

inline void Report(const char* AName, double AValue, const char* AUnit) {
  std::printf("%s: %.1f %s\n", AName, AValue, AUnit);
  std::fflush(stdout);
}

}  // namespace vantrel::bench
