#!/usr/bin/env bash
# SIGTERM (logout, shutdown), SIGHUP and SIGINT end the real program as if the user had closed
# the viewer: an open dialog is closed, the viewer stores its placement and choices, the
# settings are saved and the log gets the run's summary; the exit status is 0.
source "$(dirname "$0")/common.bash"
printf '[STANDARD]\r\nLogToFile=1\r\nVerboseLogging=1\r\n' > "$APPDATA/Tavlund/etc/tavlund.ini"
export USERNAME=tester
etc="$APPDATA/Tavlund/etc"
log="$APPDATA/Tavlund/log/glimra.log"

cd "$work"
run=0
for sig in TERM HUP INT; do
  run=$((run + 1))
  rm -f "$etc/TESTER.INI"
  "$glimra" >"$work/out.log" 2>&1 &
  pid=$!
  wait_for_window "Tavlund bildeviser"
  if [ "$sig" = TERM ]; then
    # The open dialog (the picture's pop-up menu, first entry) stands open when the signal comes.
    xdotool mousemove 300 300 click 3
    sleep 0.5
    xdotool key Down Return
    wait_for_window '^Åpne bilde$'
  fi
  kill -"$sig" "$pid"
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then echo "FEIL: SIG$sig did not end the program" >&2; exit 1; fi
  status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || { echo "FEIL: SIG$sig: exit status $status" >&2; cat "$work/out.log" >&2; exit 1; }

  # The close handler ran: the placement is in the per-user file, the choices in the settings.
  grep -q $'^\\[VINDU-Bildeviser\\]\r$' "$etc/TESTER.INI" ||
    { echo "FEIL: SIG$sig: no placement stored" >&2; exit 1; }
  grep -q $'^Bilde-Strekk=0\r$' "$etc/tavlund.ini" || { echo "FEIL: SIG$sig: choices not stored" >&2; exit 1; }
  # The end order ran: every run so far has its start and its summary in the log.
  [ "$(grep -c ' START: ' "$log")" -eq "$run" ] || { echo "FEIL: SIG$sig: start lines lost" >&2; cat "$log" >&2; exit 1; }
  [ "$(grep -c ' AVSLUTTER PROGRAM\. 0 feilmeldinger og 0 advarsler' "$log")" -eq "$run" ] ||
    { echo "FEIL: SIG$sig: no summary in the log" >&2; cat "$log" >&2; exit 1; }
done

# At logout nobody answers a box: when the close handler's saves fail (the settings folder has
# become a file), one SIGTERM still ends the program, and the failures are in the log.
"$glimra" >"$work/out.log" 2>&1 &
pid=$!
wait_for_window "Tavlund bildeviser"
rm -rf "$etc"
touch "$etc"
kill -TERM "$pid"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FEIL: a failed save held the end (a box nobody answers?)" >&2; exit 1; fi
wait "$pid" || true
pid=""
grep -q ' FEIL: Kan ikke skrive innstillingsfilen ' "$log" && grep -q ' INI-CRASH i KV_REG: ' "$log" ||
  { echo "FEIL: the failed saves are not in the log" >&2; cat "$log" >&2; exit 1; }
echo "e2e end_signal: ok"
