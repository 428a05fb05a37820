#!/usr/bin/env bash
# The Debian package as a user gets it: built with CPack, installed with apt (which brings what it
# depends on), the installed program started once under the X server with a JPEG and once with a
# WMF (so its helper is found where it was installed), then removed, leaving none of its files.
# It installs into the system, so it runs as root only (as CI does); elsewhere it says so and stops.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
  echo "package-check: installs into the system and needs root; not run"
  exit 0
fi
: "${GLIMRA_E2E_DISPLAY:?the package check needs the X server that scripts/test.sh starts}"
fail() { echo "FEIL: $*" >&2; exit 1; }

rm -f build/glimra_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/glimra_*.deb)
if dpkg-query -W -f='${Status}' glimra 2>/dev/null | grep -q "install ok installed"; then
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq glimra >/dev/null
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
files=$(dpkg-query -L glimra)

work=$(mktemp -d)
pid=""
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export DISPLAY="$GLIMRA_E2E_DISPLAY" APPDATA="$work/appdata" HOME="$work/home" TEMP="$work/tmp"
unset QT_QPA_PLATFORM
mkdir -p "$APPDATA/Tavlund/etc" "$HOME" "$TEMP"
printf '[STANDARD]\r\nBilde-Strekk=1\r\nBilde-Proposjonalt=1\r\n' > "$APPDATA/Tavlund/etc/tavlund.ini"
convert -size 640x480 xc:red "$work/rod.jpg"
cp tests/data/metafile/tegning.wmf "$work/tegning.wmf"

# Starts the installed program with one picture and returns the colour at a point of the screen
# once its full-screen window shows.
shown_colour() {
  (cd "$work" && exec /usr/bin/glimra "$1" >"$work/out.log" 2>&1) &
  pid=$!
  for _ in $(seq 1 100); do
    xdotool search --all --pid "$pid" --onlyvisible --name "Tavlund bildeviser" >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/out.log" >&2; fail "the installed program ended"; }
    sleep 0.1
  done
  sleep 1
  import -window root "$work/screen.png"
  convert "$work/screen.png" -format "%[pixel:p{$2}]" info:
  kill "$pid"; wait "$pid" 2>/dev/null || true; pid=""
}
colour=$(shown_colour "$work/rod.jpg" "300,200")
case "$colour" in srgb\(25[0-5],[0-9],[0-9]\)|red) ;; *) fail "the installed program showed $colour, not the red picture" ;; esac
# The WMF's red rectangle, with the drawing fitted to the 1920 x 1080 screen.
colour=$(shown_colour "$work/tegning.wmf" "300,200")
case "$colour" in srgb\(20[0-9],3[0-9],3[0-9]\)) ;; *) fail "the installed program drew the WMF as $colour" ;; esac

DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq glimra >/dev/null
dpkg-query -W -f='${Status}' glimra 2>/dev/null | grep -q "install ok installed" && fail "still installed after removal"
while IFS= read -r f; do
  [ -f "$f" ] && fail "$f is left after removal"
done <<<"$files"
echo "package-check: ok ($(basename "$deb"))"
