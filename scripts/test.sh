#!/usr/bin/env bash
# Installs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test. Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Debug -DLYRABOOK_SANITIZE=ON \
  -DLYRABOOK_WERROR=ON
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$root/build"
ctest --output-on-failure --timeout 900 -j"$(nproc)"

# A short fuzz run over damaged table files (longer: scripts/fuzz.sh SECONDS).
"$root/scripts/fuzz.sh" "${LYRABOOK_FUZZ_SECONDS:-20}"
