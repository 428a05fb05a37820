#!/usr/bin/env bash
# Two copies of the real program with one settings file and one log: each changes one of the
# viewer's choices, then they close, in both orders. Both changes reach the settings file, and
# the log holds the lines of both runs.
source "$(dirname "$0")/common.bash"
export USERNAME=tester
etc="$APPDATA/Tavlund/etc"
log="$APPDATA/Tavlund/log/glimra.log"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; cleanup' EXIT

# Waits until program $1 shows a window named $2; prints its id.
window_of() {
  for _ in $(seq 1 100); do
    id=$(xdotool search --all --pid "$1" --onlyvisible --name "$2" 2>/dev/null | head -n 1) && [ -n "$id" ] &&
      { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "FEIL: program $1 shows no window '$2'" >&2
  return 1
}
# Chooses entry number $2 of the picture's pop-up menu in window $1 (Down steps over separators),
# or with "avslutt" the menu bar's Fil > Avslutt (Up from the top picks the last entry).
menu_entry() {
  read -r x y < <(xdotool getwindowgeometry "$1" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
  if [ "$2" = avslutt ]; then
    xdotool mousemove $((x + 16)) $((y + 8)) click 1
    sleep 0.5
    xdotool key Up Return
  else
    xdotool mousemove $((x + 200)) $((y + 200)) click 3
    sleep 0.5
    for _ in $(seq 1 "$2"); do xdotool key Down; done
    xdotool key Return
  fi
  sleep 0.3
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
  xdotool windowmove "$wsecond" 900 0
  sleep 0.3
  menu_entry "$wfirst" 2    # the first copy switches "Strekk bilde" on
  menu_entry "$wsecond" 3   # the second switches "Vis proposjonalt" on
  for who in $order; do
    if [ "$who" = first ]; then menu_entry "$wfirst" avslutt; ends "$first"; else menu_entry "$wsecond" avslutt; ends "$second"; fi
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
