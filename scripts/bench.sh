#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench, under the shared build lock)
# and runs every one of them, each beside SQLite doing the same work in the
# same run where the program has such a peer. Output goes to standard output
# and to build-bench/bench-results.txt.
#
#   scripts/bench.sh [--smoke] [PROGRAM...]   (default: every bench/*_bench.cpp)
#
# --smoke runs each program once on a few thousand operations
# (LYRABOOK_BENCH_SMOKE=1, which every program's sizes in bench/BenchSize.h
# read) to show that it builds and runs to the end; CI runs it. Its figures
# mean nothing, so they go to build-bench/bench-smoke.txt instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-bench"
locked="$root/scripts/locked.sh"

smoke=0
if [ "${1:-}" = --smoke ]; then
  smoke=1
  shift
fi
if [ $# -eq 0 ]; then
  for source in "$root"/bench/*_bench.cpp; do set -- "$@" "$(basename "$source" .cpp)"; done
fi

# LYRABOOK_WERROR, when set (test.sh sets it), is passed on; otherwise the
# folder keeps what it was configured with.
"$locked" cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLYRABOOK_SANITIZE=OFF -DLYRABOOK_BUILD_BENCH=ON \
  ${LYRABOOK_WERROR:+-DLYRABOOK_WERROR=$LYRABOOK_WERROR} >/dev/null
# Only the benchmark programs (and the libraries they link).
"$locked" cmake --build "$dir" -j"$(nproc)" --target "$@"

if [ $smoke -eq 1 ]; then
  results="$dir/bench-smoke.txt"
  export LYRABOOK_BENCH_SMOKE=1
else
  results="$dir/bench-results.txt"
  unset LYRABOOK_BENCH_SMOKE
fi
: >"$results"
for program in "$@"; do
  echo "== $program ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores)" | tee -a "$results"
  if [ $smoke -eq 1 ]; then
    # A smoke run takes seconds; one that goes on has sizes that ignore it.
    status=0
    timeout 600 "$dir/bin/$program" 2>&1 | tee -a "$results" || status=$?
    if [ $status -eq 124 ]; then
      echo "$program: no end after 600 s in a smoke run; do its sizes come from bench/BenchSize.h?" >&2
    fi
    [ $status -eq 0 ] || exit "$status"
  else
    "$dir/bin/$program" 2>&1 | tee -a "$results"
  fi
done
