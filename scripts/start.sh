#!/usr/bin/env bash
# Installs, builds and starts Lyrabook on the demo folder beside the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release \
  -DLYRABOOK_BUILD_TESTS=OFF
exec "$root/build-release/bin/lyrabook"
