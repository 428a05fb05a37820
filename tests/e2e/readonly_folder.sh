#!/usr/bin/env bash
# Settings, per-user file and log that the user may write, in folders where the user may not
# make new files: the program starts, and at its end all three are written in place (the same
# files, nothing new beside them). Root may make files in any folder, so as root the program
# runs as the user nobody.
source "$(dirname "$0")/common.bash"
shared="$work/delt"
logdir="$APPDATA/Tavlund/log"
mkdir -p "$shared" "$logdir"
printf '[INI_SELF]\r\nCREATED_USER=ADMIN\r\n\r\n[STANDARD]\r\nLogToFile=1\r\nVerboseLogging=1\r\n' > "$shared/tavlund.ini"
printf '[VINDU-UTSKRIFTFORM]\r\nLeft=5\r\n' > "$shared/TESTER.INI"
printf 'forrige kjøring\r\n' > "$logdir/glimra.log"

if [ "$(id -u)" -eq 0 ]; then
  # Everything of the run belongs to nobody, except the two folders, which stay root's.
  chmod 755 "$work"
  chown -R nobody:nogroup "$work"
  chown root:root "$shared" "$logdir"
  chmod 755 "$shared" "$logdir"
  chmod 666 "$shared/tavlund.ini" "$shared/TESTER.INI" "$logdir/glimra.log"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all)
  # The build folder may lie where nobody cannot go (under /root): nobody runs a copy.
  mkdir -p "$work/bin"
  cp "$glimra" "$work/bin/glimra"
  chmod 755 "$work/bin" "$work/bin/glimra"
  glimra="$work/bin/glimra"
else
  chmod 555 "$shared" "$logdir"
  as_user=(env)
fi
inode() { stat -c %i "$1"; }
before="$(inode "$shared/tavlund.ini") $(inode "$shared/TESTER.INI") $(inode "$logdir/glimra.log")"

# One run of the program as the user, closed by SIGTERM.
run() {
  USERNAME=tester "${as_user[@]}" "$glimra" >"$work/out.log" 2>&1 &
  pid=$!
  wait_for_window "Tavlund bildeviser"
  kill -TERM "$pid"
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || { echo "FEIL: exit status $status" >&2; cat "$work/out.log" >&2; exit 1; }
}
cd "$shared"
run

after="$(inode "$shared/tavlund.ini") $(inode "$shared/TESTER.INI") $(inode "$logdir/glimra.log")"
[ "$before" = "$after" ] || { echo "FEIL: the files were replaced ($before / $after)" >&2; exit 1; }
[ "$(ls -A "$shared" | tr '\n' ' ')" = "TESTER.INI tavlund.ini " ] || { echo "FEIL: files left in $shared: $(ls -A "$shared")" >&2; exit 1; }
[ "$(ls -A "$logdir")" = "glimra.log" ] || { echo "FEIL: files left in $logdir: $(ls -A "$logdir")" >&2; exit 1; }

grep -q $'^CREATED_USER=ADMIN\r$' "$shared/tavlund.ini"
grep -q $'^MODIFIED_USER=TESTER\r$' "$shared/tavlund.ini" || { echo "FEIL: settings not saved" >&2; cat "$shared/tavlund.ini" >&2; exit 1; }
grep -q $'^Bilde-Strekk=0\r$' "$shared/tavlund.ini" || { echo "FEIL: the viewer's choices not saved" >&2; exit 1; }
grep -q $'^\\[VINDU-Bildeviser\\]\r$' "$shared/TESTER.INI" || { echo "FEIL: placement not saved" >&2; exit 1; }
grep -q $'^Left=5\r$' "$shared/TESTER.INI"
log="$logdir/glimra.log"
head -n 1 "$log" | grep -q '^forrige kjøring' || { echo "FEIL: old log lines lost" >&2; cat "$log" >&2; exit 1; }
grep -q ' START: ' "$log" && grep -q ' AVSLUTTER PROGRAM\. 0 feilmeldinger' "$log" ||
  { echo "FEIL: the run's lines are not in the log" >&2; cat "$log" >&2; exit 1; }

# A second run that empties the log at start: the log is made anew in place as well.
sed 's/^\[STANDARD\]\r$/&\nClearLogFileOnStartup=1\r/' "$shared/tavlund.ini" > "$work/ini"
cat "$work/ini" > "$shared/tavlund.ini"
grep -q '^ClearLogFileOnStartup=1' "$shared/tavlund.ini"
run
chmod 755 "$shared" "$logdir"  # so that the clean-up can remove them
[ "$(inode "$logdir/glimra.log")" = "$(echo "$before" | cut -d' ' -f3)" ] || { echo "FEIL: the log was replaced" >&2; exit 1; }
head -n 1 "$log" | LC_ALL=C grep -aq ' LOGGFIL T[^M]*MT (TextFile.ClearLog)\.' || { echo "FEIL: the log was not emptied" >&2; cat "$log" >&2; exit 1; }
[ "$(grep -c ' START: ' "$log")" -eq 1 ] || { echo "FEIL: the emptied log holds older runs" >&2; cat "$log" >&2; exit 1; }
[ "$(ls -A "$logdir")" = "glimra.log" ] || { echo "FEIL: files left in $logdir: $(ls -A "$logdir")" >&2; exit 1; }
echo "e2e readonly_folder: ok ($([ "$(id -u)" -eq 0 ] && echo 'as nobody' || echo 'as '"$(id -un)"))"
