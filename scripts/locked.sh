#!/usr/bin/env bash
# Runs a command under the build lock: the project's machines have two cores,
# and builds never run side by side there. A command run under the lock sees
# LYRABOOK_BUILD_LOCK_HELD=1, so that a script it calls (test.sh calls
# build.sh, fuzz.sh and bench.sh) runs at once instead of waiting for itself.
# Usage: locked.sh COMMAND [ARGS...]
set -euo pipefail
if [ -n "${LYRABOOK_BUILD_LOCK_HELD:-}" ] || ! command -v flock >/dev/null; then
  exec "$@"
fi
LYRABOOK_BUILD_LOCK_HELD=1 exec flock /tmp/lyrabook-build.lock "$@"
