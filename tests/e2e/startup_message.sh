#!/usr/bin/env bash
# A message the framework's start has to show reaches the user as a box before the viewer
# opens: here the log cannot be made anew because a folder stands where the log file should be.
source "$(dirname "$0")/common.bash"
mkdir -p "$APPDATA/Tavlund/log/glimra.log"
printf '[STANDARD]\r\nLogToFile=1\r\nClearLogFileOnStartup=1\r\n' > "$APPDATA/Tavlund/etc/tavlund.ini"

cd "$work"
"$glimra" >"$work/out.log" 2>&1 &
pid=$!

wait_for_window '^FEIL$'
if xdotool search --all --pid "$pid" --onlyvisible --name "Tavlund bildeviser" >/dev/null 2>&1; then
  echo "FEIL: the viewer opened before the start-up message was answered" >&2
  exit 1
fi
xdotool search --all --pid "$pid" --onlyvisible --name '^FEIL$' windowfocus --sync 2>/dev/null || true
xdotool key Return
wait_for_window "Tavlund bildeviser"
echo "e2e startup_message: ok"
