#!/usr/bin/env bash
# Takes a picture of the main window on the demo folder: builds the program if
# needed, starts it on a virtual screen (Xvfb), waits until the window has been
# drawn, saves the window as docs/screenshot.png and ends the program.
# Needs xvfb-run and ImageMagick (both installed by install-deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"
out="$root/docs/screenshot.png"

locked="$root/scripts/locked.sh"
"$locked" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLYRABOOK_BUILD_TESTS=OFF >/dev/null
"$locked" cmake --build "$build" --target lyrabook

mkdir -p "$(dirname "$out")"
export LYRABOOK_PROGRAM="$build/bin/lyrabook" LYRABOOK_SHOT="$out"
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  set -euo pipefail
  QT_QPA_PLATFORM=xcb "$LYRABOOK_PROGRAM" &
  program=$!
  shot=$(mktemp --suffix=.png)
  trap "kill $program 2>/dev/null || true; rm -f $shot" EXIT
  # An empty screen is one colour; the window brings more. Up to 30 seconds.
  for _ in $(seq 60); do
    sleep 0.5
    kill -0 $program 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
    import -window root "$shot"
    [ "$(identify -format %k "$shot")" -gt 1 ] && break
  done
  sleep 1  # let the lists finish drawing
  # No window manager runs here, so the picture is the window alone: cut away
  # the empty screen around it.
  import -window root -trim +repage "$LYRABOOK_SHOT"
'
echo "saved $out"
