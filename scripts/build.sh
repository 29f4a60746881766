#!/usr/bin/env bash
# Configures and builds one build folder (under the build lock).
# Usage: build.sh DIR [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
"$root/scripts/locked.sh" cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
"$root/scripts/locked.sh" cmake --build "$dir" -j"$(nproc)"
