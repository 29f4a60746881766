#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench, under the shared build lock)
# and runs every one of them, each beside SQLite doing the same work in the
# same run where the program has such a peer. Output goes to standard output
# and to build-bench/bench-results.txt.
#
#   scripts/bench.sh [PROGRAM...]   (default: every bench/*_bench.cpp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-bench"
locked="$root/scripts/locked.sh"

if [ $# -eq 0 ]; then
  for source in "$root"/bench/*_bench.cpp; do set -- "$@" "$(basename "$source" .cpp)"; done
fi

"$locked" cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLYRABOOK_SANITIZE=OFF -DLYRABOOK_BUILD_BENCH=ON >/dev/null
# Only the benchmark programs (and the libraries they link).
"$locked" cmake --build "$dir" -j"$(nproc)" --target "$@"

results="$dir/bench-results.txt"
: >"$results"
for program in "$@"; do
  echo "== $program ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores)" | tee -a "$results"
  "$dir/bin/$program" 2>&1 | tee -a "$results"
done
