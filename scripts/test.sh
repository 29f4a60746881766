#!/usr/bin/env bash
# Installs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test; then builds everything in Release, runs each benchmark once
# in smoke mode and builds and checks the Debian package. Warnings are errors
# in every build here. Exits non-zero when any step fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# Passed on by bench.sh and fuzz.sh to the folders they configure.
export LYRABOOK_WERROR=ON
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Debug -DLYRABOOK_SANITIZE=ON \
  -DLYRABOOK_WERROR=ON
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build" && ctest --output-on-failure --timeout 900 -j"$(nproc)")

# A short fuzz run over damaged table files (longer: scripts/fuzz.sh SECONDS).
"$root/scripts/fuzz.sh" "${LYRABOOK_FUZZ_SECONDS:-20}"

# The Release build of every program, test and benchmark, where the optimiser
# finds warnings that the Debug build does not; each benchmark once on a few
# thousand operations, so that scripts/bench.sh keeps working; and the package
# made from that build.
"$root/scripts/build.sh" "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DLYRABOOK_SANITIZE=OFF \
  -DLYRABOOK_BUILD_BENCH=ON -DLYRABOOK_WERROR=ON
"$root/scripts/bench.sh" --smoke
"$root/scripts/package.sh" "$root/build-bench"
