#pragma once
// How much work a benchmark program does. Every program takes its sizes from
// here, so that a smoke run (LYRABOOK_BENCH_SMOKE=1, as `scripts/bench.sh
// --smoke` and CI run it) does a few thousand operations: enough to show that
// the program builds and runs to the end, far too few for its figures to mean
// anything.

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace bench {

// True when LYRABOOK_BENCH_SMOKE is set to anything but "" or "0".
inline bool SmokeRun() {
  const char* value = std::getenv("LYRABOOK_BENCH_SMOKE");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

// `full` in a measuring run, `smoke` in a smoke run.
template <typename T>
T Size(T full, T smoke) {
  return SmokeRun() ? smoke : full;
}

// The same for a list of sizes.
template <typename T>
std::vector<T> Sizes(std::initializer_list<T> full, std::initializer_list<T> smoke) {
  return SmokeRun() ? std::vector<T>(smoke) : std::vector<T>(full);
}

}  // namespace bench
