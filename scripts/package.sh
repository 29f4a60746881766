#!/usr/bin/env bash
# Builds the Debian package and checks it: its files, its dependencies, and
# that the program in it starts and makes the user's data folder.
#
#   scripts/package.sh [DIR]
#
# Without DIR it configures and builds build-release in Release first; with
# DIR it packages that build folder (test.sh passes build-bench, which it has
# just built in Release). The package is left in the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -eq 0 ]; then
  dir="$root/build-release"
  "$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DLYRABOOK_BUILD_TESTS=OFF
else
  dir=$(cd "$1" && pwd)
  "$root/scripts/locked.sh" cmake --build "$dir" -j"$(nproc)"
fi
rm -f "$dir"/lyrabook_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/lyrabook_*.deb)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package.sh: $deb: $*" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
for path in ./usr/bin/lyrabook ./usr/bin/lyrabook-cli ./usr/bin/quire \
  ./usr/share/applications/lyrabook.desktop ./usr/share/lyrabook/Data/ \
  ./usr/share/icons/hicolor/scalable/apps/lyrabook.svg \
  ./usr/share/icons/hicolor/48x48/apps/lyrabook.png \
  ./usr/share/icons/hicolor/256x256/apps/lyrabook.png; do
  grep -qx "$path" "$work/files" || fail "$path is missing"
done
for song in "$root"/demo/usersong/*; do
  grep -qx "./usr/share/lyrabook/usersong/$(basename "$song")" "$work/files" ||
    fail "demo file $(basename "$song") is missing"
done
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/lyrabook.desktop" ||
  fail "the desktop entry is not valid"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 fonts-thai-tlwg; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "does not depend on $package: $depends"
done
# A package made from a sanitizer build would need the sanitizer runtime.
[[ $depends != *libasan* && $depends != *libubsan* ]] || fail "made from a sanitizer build"

# The program from the unpacked package finds its demo folders (usersong and
# the empty catalogue) under <prefix>/share and copies them into a fresh data
# folder of the user's. It runs until it is ended, so ending it after a few
# seconds is success.
status=0
XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen timeout 5 "$work/root/usr/bin/lyrabook" \
  >"$work/log" 2>&1 || status=$?
[ $status -eq 124 ] || { cat "$work/log" >&2; fail "lyrabook ended by itself with status $status"; }
diff -r "$work/root/usr/share/lyrabook" "$work/data/lyrabook" >&2 ||
  fail "lyrabook did not copy its demo folders into its data folder"
echo "$deb"
