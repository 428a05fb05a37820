#!/usr/bin/env bash
# A start that cannot go on (here a folder stands where the settings file should be) is shown
# to the user in a box captioned "FEIL", the log keeps the reason, and the program ends with a
# non-zero status without opening the viewer.
source "$(dirname "$0")/common.bash"
mkdir -p "$APPDATA/Tavlund/etc/tavlund.ini" "$APPDATA/Tavlund/log"
printf 'forrige kjøring\r\n' > "$APPDATA/Tavlund/log/glimra.log"

cd "$work"
"$glimra" --debug >"$work/out.log" 2>&1 &
pid=$!
wait_for_window '^FEIL$'
if xdotool search --all --pid "$pid" --onlyvisible --name "Tavlund bildeviser" >/dev/null 2>&1; then
  echo "FEIL: the viewer opened after a failed start" >&2
  exit 1
fi
import -window root "$work/feil.png"
[ -n "${GLIMRA_E2E_SHOTS:-}" ] && cp "$work/feil.png" "$GLIMRA_E2E_SHOTS/fatal_start.png"
xdotool search --all --pid "$pid" --onlyvisible --name '^FEIL$' windowfocus --sync 2>/dev/null || true
xdotool key Return
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FEIL: the program did not end after the message" >&2; exit 1; fi
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -ne 0 ] || { echo "FEIL: a failed start ended with status 0" >&2; exit 1; }
grep -q 'tavlund.ini' "$work/out.log" || { echo "FEIL: nothing on stderr" >&2; exit 1; }
# The earlier runs' lines stay, and the reason follows them.
log="$APPDATA/Tavlund/log/glimra.log"
head -n 1 "$log" | grep -q '^forrige kjøring' || { echo "FEIL: the old log lines were lost" >&2; cat "$log" >&2; exit 1; }
grep -q ' FEIL: Kan ikke lese innstillingsfilen .*tavlund.ini: det er en mappe, ikke en fil' "$log" ||
  { echo "FEIL: the reason is not in the log" >&2; cat "$log" >&2; exit 1; }
echo "e2e fatal_start: ok"
