#!/usr/bin/env bash
# A message the framework's start has to show reaches the user as a box before the viewer
# opens: here the log cannot be made anew because a folder stands where the log file should be.
set -euo pipefail
glimra="$1"
[ -x "$glimra" ] || { echo "FEIL: no program at $glimra" >&2; exit 1; }
: "${GLIMRA_E2E_DISPLAY:?the end-to-end tests need the X server that scripts/test.sh starts}"
export DISPLAY="$GLIMRA_E2E_DISPLAY"
unset QT_QPA_PLATFORM

work=$(mktemp -d)
pid=""
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

export APPDATA="$work/appdata" HOME="$work/home" TEMP="$work/tmp"
mkdir -p "$APPDATA/Tavlund/etc" "$APPDATA/Tavlund/log/glimra.log" "$HOME" "$TEMP"
printf '[STANDARD]\r\nLogToFile=1\r\nClearLogFileOnStartup=1\r\n' > "$APPDATA/Tavlund/etc/tavlund.ini"

cd "$work"
"$glimra" >"$work/out.log" 2>&1 &
pid=$!

wait_for() {   # window name
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    kill -0 "$pid" 2>/dev/null || { echo "FEIL: the program ended" >&2; cat "$work/out.log" >&2; return 1; }
    sleep 0.1
  done
  echo "FEIL: no window named '$1'" >&2
  return 1
}

wait_for '^FEIL$'
if xdotool search --onlyvisible --name "Tavlund bildeviser" >/dev/null 2>&1; then
  echo "FEIL: the viewer opened before the start-up message was answered" >&2
  exit 1
fi
xdotool search --onlyvisible --name '^FEIL$' windowfocus --sync 2>/dev/null || true
xdotool key Return
wait_for "Tavlund bildeviser"
echo "e2e startup_message: ok"
