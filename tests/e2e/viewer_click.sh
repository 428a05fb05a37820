#!/usr/bin/env bash
# The real program in a real X server: started with one picture it fills the screen; both
# choices are switched through the picture's menu, each to the opposite of its stored value, and
# change how the picture is drawn; a click on the picture steps to the next JPEG of the folder,
# drawn where the display rule puts it; a double-click closes it and both choices reach the
# settings file. The timing trace names both pictures.
source "$(dirname "$0")/common.bash"
mkdir -p "$work/pics"
settings="$APPDATA/Tavlund/etc/tavlund.ini"
printf '[STANDARD]\r\nBilde-Strekk=0\r\nBilde-Proposjonalt=1\r\n' > "$settings"
convert -size 400x300 xc:'#ff0000' -quality 95 "$work/pics/a.jpg"
convert -size 300x600 xc:'#00ff00' -quality 95 "$work/pics/b.jpg"
convert -size 640x480 xc:'#0000ff' -quality 95 "$work/pics/c.jpg"

# Colour of one screen pixel as "r g b".
pixel() {
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -n 1 |
    sed -E 's/.*\(([0-9.]+),([0-9.]+),([0-9.]+).*/\1 \2 \3/' | awk '{printf "%d %d %d\n", $1, $2, $3}'
}
# Waits until pixel x y has the colour class (red/green/white).
expect_colour() {
  local x=$1 y=$2 want=$3 got=""
  for _ in $(seq 1 50); do
    read -r r g b <<<"$(pixel "$x" "$y")"
    case $want in
      red)   [ "$r" -gt 200 ] && [ "$g" -lt 60 ] && [ "$b" -lt 60 ] && return 0 ;;
      green) [ "$g" -gt 200 ] && [ "$r" -lt 60 ] && [ "$b" -lt 60 ] && return 0 ;;
      white) [ "$r" -gt 240 ] && [ "$g" -gt 240 ] && [ "$b" -gt 240 ] && return 0 ;;
    esac
    got="$r $g $b"
    sleep 0.2
  done
  echo "FEIL: pixel $x,$y is '$got', expected $want" >&2
  cp "$work/shot.png" "${TMPDIR:-/tmp}/glimra-e2e-failed.png" || true
  return 1
}
# Opens the picture's menu with a right-click and chooses its entry number $1 with the keys
# (1 = "Åpne bilde", 2 = "Strekk bilde", 3 = "Vis proposjonalt"; separators are passed over).
choose_from_menu() {
  local before
  before=$(xdotool search --all --pid "$pid" --onlyvisible --name '' 2>/dev/null | wc -l)
  xdotool mousemove 300 500 click 3
  for _ in $(seq 1 50); do
    [ "$(xdotool search --all --pid "$pid" --onlyvisible --name '' 2>/dev/null | wc -l)" -gt "$before" ] && break
    sleep 0.1
  done
  for _ in $(seq 1 "$1"); do xdotool key Down; done
  xdotool key Return
}

cd "$work/pics"
# With the timing trace on: one line a picture on stderr.
GLIMRA_TRACE=1 "$glimra" a.jpg >"$work/out.log" 2>&1 &
pid=$!
wait_for_window "Tavlund bildeviser"

# Proportional alone does not enlarge: the picture at its natural size in the corner.
expect_colour 200 150 red
expect_colour 500 150 white

# "Strekk bilde" on: 400 x 300 becomes 1440 x 1080 from the corner.
choose_from_menu 2
expect_colour 1000 540 red
expect_colour 1500 540 white

# A click on the picture shows b.jpg: 300 x 600 becomes 540 x 1080, the rest is white.
xdotool mousemove 300 500 click 1
expect_colour 270 540 green
expect_colour 539 1000 green
expect_colour 560 540 white
expect_colour 1000 540 white

# "Vis proposjonalt" off: the picture fills the screen.
choose_from_menu 3
expect_colour 1000 540 green
expect_colour 1800 1000 green

# A double-click closes the program, which stores the choices and the folder.
xdotool mousemove 300 500 click --repeat 2 --delay 80 1
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$pid" 2>/dev/null; then echo "FEIL: the program did not close" >&2; exit 1; fi
wait "$pid" || { echo "FEIL: exit status $?" >&2; cat "$work/out.log" >&2; exit 1; }
pid=""
for line in 'Bilde-Strekk=1' 'Bilde-Proposjonalt=0' 'SisteBildeMappe='; do
  grep -q "^$line"$'\r$' "$settings" || { echo "FEIL: no line '$line' in the settings file" >&2; cat "$settings" >&2; exit 1; }
done
for picture in a.jpg b.jpg; do
  grep -Eq "^glimra: bilde $picture: første maling [0-9.]+ ms, siste maling [0-9.]+ ms, skala 8/8$" "$work/out.log" ||
    { echo "FEIL: no timing line for $picture" >&2; cat "$work/out.log" >&2; exit 1; }
done
echo "e2e viewer_click: ok"
