#!/usr/bin/env bash
# Two copies of the real program with one settings file and one log: each changes one of the
# viewer's choices, then they close, in both orders. Both changes reach the settings file, and
# the log holds the lines of both runs.
source "$(dirname "$0")/common.bash"
export USERNAME=tester
etc="$APPDATA/Tavlund/etc"
log="$APPDATA/Tavlund/log/glimra.log"
pids=()
trap 'for p in "${pids[@]}"; do stop "$p"; done; cleanup' EXIT

# Waits until program $1 shows a window named $2; prints its id.
window_of() {
  for _ in $(seq 1 300); do
    id=$(xdotool search --all --pid "$1" --onlyvisible --name "$2" 2>/dev/null | head -n 1) && [ -n "$id" ] &&
      { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "FEIL: program $1 shows no window '$2'" >&2
  return 1
}
# The number of visible windows of program $1 (a pop-up menu is one of them).
windows_of() { xdotool search --all --pid "$1" --onlyvisible --name '' 2>/dev/null | wc -l; }
# Waits until program $1 shows $2 visible windows (or has ended, when $2 is "end").
wait_windows() {
  for _ in $(seq 1 100); do
    [ "$2" = end ] && ! kill -0 "$1" 2>/dev/null && return 0
    [ "$(windows_of "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  echo "FEIL: program $1 does not show $2 windows" >&2
  return 1
}
# Clicks button $5 at x $3, y $4 inside window $2 until program $1 shows its pop-up menu (a
# click that comes while the window is still settling may be lost). The point is taken in the
# window itself, so a window manager's frame and placement do not move it.
open_menu() {
  for _ in 1 2 3 4 5; do
    sleep 0.3
    xdotool mousemove --window "$2" "$3" "$4" click "$5"
    for _ in $(seq 1 20); do [ "$(windows_of "$1")" = 2 ] && return 0; sleep 0.1; done
  done
  echo "FEIL: program $1 opens no menu" >&2
  return 1
}
# In window $2 of program $1: chooses entry number $3 of the picture's pop-up menu (Down steps
# over separators), or with "avslutt" the menu bar's Fil > Avslutt (Up from the top picks the
# last entry). The keys go only once the menu is open.
menu_entry() {
  if [ "$3" = avslutt ]; then
    open_menu "$1" "$2" 16 8 1
    xdotool key Up Return
    wait_windows "$1" end
  else
    open_menu "$1" "$2" 200 200 3
    for _ in $(seq 1 "$3"); do xdotool key Down; done
    xdotool key Return
    wait_windows "$1" 1
  fi
}
ends() {
  for _ in $(seq 1 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && { echo "FEIL: program $1 did not close" >&2; return 1; }
  wait "$1" || { echo "FEIL: program $1 ended with an error" >&2; return 1; }
}

cd "$work"
runs=0
for order in "first second" "second first"; do
  printf '[STANDARD]\r\nLogToFile=1\r\nVerboseLogging=1\r\nBilde-Strekk=0\r\nBilde-Proposjonalt=0\r\n' > "$etc/tavlund.ini"
  "$glimra" >"$work/first.log" 2>&1 &
  first=$!
  "$glimra" >"$work/second.log" 2>&1 &
  second=$!
  pids=("$first" "$second")
  wfirst=$(window_of "$first" "Tavlund bildeviser")
  wsecond=$(window_of "$second" "Tavlund bildeviser")
  # Side by side (both may have read the same stored placement).
  xdotool windowmove "$wfirst" 0 0
  xdotool windowmove "$wsecond" 900 0
  sleep 0.3
  menu_entry "$first" "$wfirst" 2    # the first copy switches "Strekk bilde" on
  menu_entry "$second" "$wsecond" 3   # the second switches "Vis proposjonalt" on
  for who in $order; do
    if [ "$who" = first ]; then menu_entry "$first" "$wfirst" avslutt; ends "$first"; else menu_entry "$second" "$wsecond" avslutt; ends "$second"; fi
  done
  pids=()
  runs=$((runs + 2))

  grep -q $'^Bilde-Strekk=1\r$' "$etc/tavlund.ini" && grep -q $'^Bilde-Proposjonalt=1\r$' "$etc/tavlund.ini" ||
    { echo "FEIL ($order): a copy's change was lost" >&2; cat "$etc/tavlund.ini" >&2; exit 1; }
  [ "$(grep -c '^\[STANDARD\]' "$etc/tavlund.ini")" -eq 1 ] || { echo "FEIL ($order): settings file not whole" >&2; exit 1; }
  grep -q $'^\\[VINDU-Bildeviser\\]\r$' "$etc/TESTER.INI"
  [ "$(grep -c ' START: ' "$log")" -eq "$runs" ] && [ "$(grep -c ' AVSLUTTER PROGRAM\.' "$log")" -eq "$runs" ] ||
    { echo "FEIL ($order): log lines of a run were lost" >&2; cat "$log" >&2; exit 1; }
done
echo "e2e two_copies: ok"
