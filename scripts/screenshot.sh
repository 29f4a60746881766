#!/usr/bin/env bash
# Takes a picture of the main window after an import of the demo folder:
# builds the program if needed, starts it on a virtual screen (Xvfb) from a
# copy of its folder (so the build's empty demo catalogue stays empty),
# presses "ลงรายชื่อเพลง", closes the completion message, and saves the
# window, its status line showing the last song imported, as
# docs/screenshot.png; then ends the program.
#
#   scripts/screenshot.sh [BUILD]   # BUILD: a configured build folder to use
#                                   # instead of build-release
#
# Needs xvfb-run, ImageMagick and xdotool, which install-deps.sh installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/docs/screenshot.png"
locked="$root/scripts/locked.sh"

"$root/scripts/install-deps.sh"

if [ $# -ge 1 ]; then
  build=$(cd "$1" && pwd)
else
  build="$root/build-release"
  "$locked" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLYRABOOK_BUILD_TESTS=OFF >/dev/null
fi
"$locked" cmake --build "$build" --target lyrabook

# The program with the folders the build puts beside it: the empty catalogue
# (Data) and the demo lyric files (usersong), which the window opens on.
program_dir="$build/screenshot"
rm -rf "$program_dir"
mkdir -p "$program_dir"
cp -r "$build/bin/lyrabook" "$build/bin/Data" "$build/bin/usersong" "$program_dir/"

mkdir -p "$(dirname "$out")"
export LYRABOOK_PROGRAM="$program_dir/lyrabook" LYRABOOK_SHOT="$out"
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  set -euo pipefail
  QT_QPA_PLATFORM=xcb "$LYRABOOK_PROGRAM" &
  program=$!
  trap "kill $program 2>/dev/null || true" EXIT
  alive() { kill -0 $program 2>/dev/null || { echo "the program ended early" >&2; exit 1; }; }
  # The first visible window titled TITLE, waiting up to 30 seconds.
  window() {
    for _ in $(seq 60); do
      alive
      found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
      [ -n "$found" ] && { echo "$found"; return; }
      sleep 0.5
    done
    echo "no window \"$1\" appeared" >&2
    exit 1
  }
  main=$(window "^เพิ่มรายชื่อเพลง\$")
  sleep 1  # let the lists finish drawing
  # No window manager runs here: the window has no frame, and its controls
  # sit at their designed places from its top left corner. "ลงรายชื่อเพลง"
  # is 111 x 31 at 350, 10.
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + 350 + 55)) $((Y + 10 + 15)) click 1
  # The import ends with "เสร็จสิ้นการทำงาน" in a box captioned with the
  # application title; OK closes it and enables the buttons again.
  box=$(window "^Lyrabook\$")
  sleep 0.5
  xdotool windowfocus --sync "$box" key Return
  for _ in $(seq 60); do
    alive
    xdotool search --onlyvisible --name "^Lyrabook\$" >/dev/null 2>&1 || break
    sleep 0.5
  done
  sleep 1  # let the window redraw where the box was
  # The picture is the window alone: cut away the empty screen around it.
  import -window root -trim +repage "$LYRABOOK_SHOT"
'
rm -rf "$program_dir"
echo "saved $out"
