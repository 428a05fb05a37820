#!/usr/bin/env bash
# Full screen and back, ten times, as a user does it: in from the picture's pop-up menu, the
# menu brought back with the pointer at the top edge, out through "Muligheter". Each time the
# window comes back at its stored placement, in the normal state, whole and painted (the picture
# stretched over the whole client area, nothing of the full-screen picture left outside it), and
# the stored placement stays as it was. A stored maximised placement comes back maximised.
source "$(dirname "$0")/common.bash"
export USERNAME=tester
etc="$APPDATA/Tavlund/etc"
mkdir -p "$work/pics"
convert -size 400x300 xc:'#ff0000' -quality 95 "$work/pics/a.jpg"
printf '[STANDARD]\r\nBilde-Strekk=1\r\nBilde-Proposjonalt=0\r\nSisteBildeMappe=%s/\r\n' "$work/pics" > "$etc/tavlund.ini"
store_placement() {  # maximized left top height width
  printf '[VINDU-Bildeviser]\r\nMaximized=%s\r\nLeft=%s\r\nTop=%s\r\nHeight=%s\r\nWidth=%s\r\nDiverse=\r\n' \
    "$@" > "$etc/TESTER.INI"
}
stored_placement() {
  sed -n '/^\[VINDU-Bildeviser\]/,/^\[/p' "$etc/TESTER.INI" | tr -d '\r' | grep -E '^(Maximized|Left|Top|Height|Width)=' | tr '\n' ' '
}

# The viewer's window. Each change of view maps it anew, so it is looked up each time: the
# largest visible window of the program with its name (its menus may carry the name too).
win=""
find_win() {
  local id best="" area=0 a
  for id in $(xdotool search --all --pid "$pid" --onlyvisible --name "Tavlund bildeviser" 2>/dev/null); do
    a=$(xwininfo -id "$id" 2>/dev/null | awk '/^  Width/{w=$NF} /^  Height/{h=$NF} END{print w * h}')
    if [ "${a:-0}" -gt "$area" ]; then area=$a; best=$id; fi
  done
  win=$best
}
# The window's outer bounds "left top width height": the client window with the frame the
# window manager reports around it (none on the bare server).
outer() {
  local x y w h l=0 r=0 t=0 b=0 ext
  find_win
  [ -n "$win" ] || { echo "none"; return; }
  read -r x y w h < <(xwininfo -id "$win" 2>/dev/null |
    awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /^  Width/{w=$NF} /^  Height/{h=$NF} END{print x, y, w, h}')
  ext=$(xprop -id "$win" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ',')
  [ -n "$ext" ] && read -r l r t b <<<"$ext"
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}
maximised() { find_win; [ -n "$win" ] && xprop -id "$win" _NET_WM_STATE 2>/dev/null | grep -q '_NET_WM_STATE_MAXIMIZED_VERT.*_NET_WM_STATE_MAXIMIZED_HORZ'; }
client_origin() { find_win; xwininfo -id "$win" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} END{print x, y}'; }

shot() { import -window root "$work/shot.png"; }
# Colour class of pixel x y of the last screenshot: red, black (the bare root window) or other.
colour() {
  convert "$work/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -n 1 |
    sed -E 's/.*\(([0-9.]+),([0-9.]+),([0-9.]+).*/\1 \2 \3/' |
    awk '{ if ($1 > 200 && $2 < 60 && $3 < 60) print "red"; else if ($1 < 30 && $2 < 30 && $3 < 30) print "black"; else print "other" }'
}
step="start"
fail() {
  echo "FEIL: $step: $*" >&2
  [ -n "$win" ] && xprop -id "$win" _NET_FRAME_EXTENTS _NET_WM_STATE _MOTIF_WM_HINTS WM_STATE >&2
  echo "outer now: $(outer) of $win among $(xdotool search --all --pid "$pid" --onlyvisible --name "Tavlund bildeviser" | tr '\n' ' ')" >&2
  cat "$work/out.log" >&2
  cp "$work/shot.png" "${TMPDIR:-/tmp}/glimra-e2e-fullscreen-failed.png" 2>/dev/null || true
  exit 1
}
# Waits (up to 10 s) until the command succeeds.
wait_until() {
  for _ in $(seq 1 100); do "$@" && return 0; sleep 0.1; done
  return 1
}
at_bounds() { [ "$(outer)" = "$1" ]; }
not_red_at() { shot; [ "$(colour "$1" "$2")" != red ]; }

# The window at the stored bounds "left top width height" and painted: red over the client
# area below the menu, its corners included; no red outside it.
expect_normal_at() {
  local bounds=$1 l t w h cx cy
  wait_until at_bounds "$bounds" || fail "bounds $(outer), expected $bounds"
  if maximised; then fail "maximised, though stored in the normal state"; fi
  read -r l t w h <<<"$bounds"
  read -r cx cy < <(client_origin)
  sleep 0.3
  shot
  local right=$((l + w)) bottom=$((t + h))
  for p in "$((cx + 5)) $((cy + 40))" "$((right - 8)) $((cy + 40))" "$((cx + 5)) $((bottom - 8))" \
           "$((right - 8)) $((bottom - 8))" "$(((cx + right) / 2)) $(((cy + bottom) / 2))"; do
    # shellcheck disable=SC2086
    [ "$(colour $p)" = red ] || fail "pixel $p is $(colour $p), expected the picture"
  done
  for p in "$((right + 20)) $((t + 20))" "$((l + 20)) $((bottom + 20))" "1900 1060"; do
    # shellcheck disable=SC2086
    [ "$(colour $p)" != red ] || fail "pixel $p outside the window still shows the picture"
  done
}

# Right button on the picture, then the pop-up's fifth entry, "Full skjerm".
popup_fullskjerm() {
  local cx cy
  read -r cx cy < <(client_origin)
  xdotool mousemove "$((cx + 300))" "$((cy + 250))" click 3
  sleep 0.4
  xdotool key Down Down Down Down Return
}
# "Muligheter" in the menu bar, then its last entry, "Full skjerm".
menu_fullskjerm() {
  local cx cy
  read -r cx cy < <(client_origin)
  xdotool mousemove "$((cx + 65))" "$((cy + 9))" click 1
  sleep 0.4
  xdotool key Up Return
}

# One round trip from the normal view at bounds $1.
round_trip() {
  step="$step, into full screen"
  popup_fullskjerm
  wait_until at_bounds "0 0 1920 1080" || fail "full screen at $(outer)"
  if [ -n "${GLIMRA_E2E_WM:-}" ]; then maximised || fail "full screen is not maximised"; fi
  sleep 0.3
  shot
  [ "$(colour 1900 1060)" = red ] || fail "the picture does not fill the screen"
  # The pointer rule: from the picture to the top rows, and the menu is back.
  step="$step, pointer rule"
  xdotool mousemove 960 500
  sleep 0.2
  xdotool mousemove 960 5
  wait_until not_red_at 300 8 || fail "no menu after the pointer reached the top"
  step="$step, out of full screen"
  menu_fullskjerm
  expect_normal_at "$1"
}

start() {
  "$glimra" >"$work/out.log" 2>&1 &
  pid=$!
  wait_for_window "Tavlund bildeviser"
}
close_program() {
  local cx cy
  read -r cx cy < <(client_origin)
  xdotool mousemove "$((cx + 300))" "$((cy + 250))" click 3
  sleep 0.4
  xdotool key Up Return   # the pop-up's last entry, "Avslutt"
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  if kill -0 "$pid" 2>/dev/null; then fail "the program did not close"; fi
  wait "$pid" || fail "exit status $?"
  pid=""
}

cd "$work"
store_placement 0 100 80 600 800
want="Maximized=0 Left=100 Top=80 Height=600 Width=800 "
start
expect_normal_at_start() {
  wait_until at_bounds "100 80 800 600" || fail "started at $(outer)"
  # A click on the empty window shows the folder's picture.
  local cx cy
  read -r cx cy < <(client_origin)
  xdotool mousemove "$((cx + 300))" "$((cy + 250))" click 1
  expect_normal_at "100 80 800 600"
}
expect_normal_at_start
for trip in $(seq 1 10); do
  step="trip $trip"
  round_trip "100 80 800 600" || fail "trip $trip"
  [ "$(stored_placement)" = "$want" ] || fail "after trip $trip the stored placement is '$(stored_placement)'"
done
close_program
[ "$(stored_placement)" = "$want" ] || fail "after closing the stored placement is '$(stored_placement)'"

# Stored maximised (with its maximised bounds): leaving full screen maximises it again.
if [ -n "${GLIMRA_E2E_WM:-}" ]; then
  step="stored maximised"
  store_placement 1 100 80 600 800
  start
  wait_until maximised || fail "not maximised at start"
  popup_fullskjerm
  wait_until at_bounds "0 0 1920 1080" || fail "full screen at $(outer)"
  xdotool mousemove 960 500
  sleep 0.2
  xdotool mousemove 960 5
  wait_until not_red_at 300 8 || fail "no menu after the pointer reached the top"
  menu_fullskjerm
  sleep 0.5
  wait_until maximised || fail "left full screen unmaximised though stored maximised"
  read -r _ _ w h <<<"$(outer)"
  [ "$w" -ge 1900 ] && [ "$h" -ge 1000 ] || fail "maximised at $(outer)"
  close_program
  case "$(stored_placement)" in
    "Maximized=1 "*) ;;
    *) fail "a maximised window stored '$(stored_placement)'" ;;
  esac
fi
echo "e2e fullscreen_roundtrip: ok"
