#!/usr/bin/env bash
# The real program in a real X server: the viewer's "Hjelp" menu opens the system-information
# window; its "Rapport" page opens the print preview, which shows the test page (the green title
# bar of its header, the header rule and the white page under it).
source "$(dirname "$0")/common.bash"

# Colour of one pixel as "r g b" from the last screenshot of a window.
pixel() {
  convert "$work/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -n 1 |
    sed -E 's/.*\(([0-9.]+),([0-9.]+),([0-9.]+).*/\1 \2 \3/' | awk '{printf "%d %d %d\n", $1, $2, $3}'
}
# A picture of the window last found by geometry, in its own pixels: under a window manager its
# place on the screen is the manager's, and the frame around it is not ours.
shot() { import -window "$wid" "$work/shot.png"; }
fail() { echo "FEIL: $*" >&2; cp "$work/shot.png" "${TMPDIR:-/tmp}/glimra-e2e-failed.png" 2>/dev/null || true; exit 1; }
# The first visible window of the program named $1: sets wid, and its size ww wh.
geometry() {
  wid=$(xdotool search --all --pid "$pid" --onlyvisible --name "$1" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  ww=$WIDTH wh=$HEIGHT
}
# Clicks at x $1, y $2 inside the window last found by geometry.
click_at() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

cd "$work"
"$glimra" >"$work/out.log" 2>&1 &
pid=$!
wait_for_window "Tavlund bildeviser"
geometry "Tavlund bildeviser"

# "Hjelp" is the third menu: open the first by a click, step right twice, take the first entry.
click_at 12 8
sleep 0.5
xdotool key Right
sleep 0.2
xdotool key Right
sleep 0.3
xdotool key Return
wait_for_window "Tavlund systeminformasjon"
sleep 0.5
geometry "Tavlund systeminformasjon"

# The "Rapport" tab is the last one in sight: a click on the first tab, then Right until the end.
click_at 30 100
for _ in 1 2 3 4 5 6 7; do xdotool key Right; sleep 0.1; done
sleep 0.5
shot

# The links are navy: the rightmost navy pixel of the first line of links is in "forhåndsvisning".
read -r lx ly <<<"$(convert "$work/shot.png" -depth 8 txt:- |
  awk -F'[ ,:()]+' 'NR > 1 && $3 < 40 && $4 < 40 && $5 > 100 && $5 < 160 { print $1, $2 }' |
  sort -k2,2n -k1,1n | awk 'NR == 1 { top = $2 } $2 <= top + 6 { x = $1; y = $2 } END { if (x != "") print x, y }')"
[ -n "$lx" ] || fail "no navy link on the Rapport page"
click_at "$lx" "$ly"
wait_for_window "Forhåndsvisning"
sleep 1
geometry "Forhåndsvisning"
shot

# The test page at the default zoom of 5 pixels per millimetre from the window's corner (centred
# when the window is wider than the 1050-pixel page): the green title bar of the header at 108 mm,
# 12 mm; the header rule at 20 mm; white page between the rule and the grid at 22 mm.
left=0
[ "$ww" -gt 1050 ] && left=$(((ww - 1050) / 2))
check() {
  local x=$((left + $1 * 5)) y=$(($2 * 5)) want=$3 r g b
  read -r r g b <<<"$(pixel "$x" "$y")"
  case $want in
    green) [ "$r" -lt 40 ] && [ "$g" -gt 100 ] && [ "$g" -lt 160 ] && [ "$b" -lt 40 ] ;;
    black) [ "$r" -lt 60 ] && [ "$g" -lt 60 ] && [ "$b" -lt 60 ] ;;
    white) [ "$r" -gt 240 ] && [ "$g" -gt 240 ] && [ "$b" -gt 240 ] ;;
  esac || fail "test page pixel at ${1} mm, ${2} mm ($x, $y) is '$r $g $b', expected $want"
}
check 108 12 green
check 60 20 black
check 60 22 white
echo "e2e sysinfo_preview: ok"
