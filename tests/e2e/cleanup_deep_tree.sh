#!/usr/bin/env bash
# The real program cleans its temporary folders at start and still opens its window: a tree of
# 100,000 levels in its tmp folder is emptied (no stack overflow, within a small open-file limit),
# and a TEMP value that leads back to the home folder through ".." leaves the home's files alone
# with a warning in the log.
source "$(dirname "$0")/common.bash"

# A home whose name passes the TEMP test on its text, as a value that leads to it does.
export HOME="$work/Temp-hjem"
mkdir -p "$HOME/TEMP" "$HOME/.config"
echo viktig > "$HOME/viktig.txt"
echo skjult > "$HOME/.config/innstilling"
export TEMP="$HOME/TEMP/.."

tmp="$APPDATA/Tavlund/tmp"
mkdir -p "$tmp"
# The tree lives in memory (a tmpfs as the tmp folder; CI runs as root): on a disk, removing
# 100,000 folders one after the other takes minutes, whoever does it.
if mount -t tmpfs tmpfs "$tmp" 2>/dev/null; then
  trap 'umount -l "$tmp" 2>/dev/null; cleanup' EXIT
else
  echo "e2e cleanup_deep_tree: no tmpfs (not root), the tree is made on the disk" >&2
fi
# One level at a time, relative to the level above (no path can name the bottom).
(cd "$tmp" && perl -e 'for (1..100000) { mkdir "d" or die "mkdir: $!"; chdir "d" or die "chdir: $!" }
                       open(my $f, ">", "bunn.txt") or die "open: $!"; close $f')
echo gammel > "$tmp/gammel.tmp"
printf '[STANDARD]\r\nLogToFile=1\r\nDeleteTemporaryFiles=1\r\nDeleteSystemTemporaryFiles=1\r\n' \
  > "$APPDATA/Tavlund/etc/tavlund.ini"
convert -size 200x100 xc:'#336699' "$work/bilde.jpg"

cd "$work"
# Never the machine's own print server: its users' jobs are not the test's to cancel. Where the
# system has a spool folder the clean-up asks this missing one and logs that it could not.
export CUPS_SERVER="$work/ingen-cups.sock"
(ulimit -n 128; exec "$glimra" "$work/bilde.jpg" >"$work/out.log" 2>&1) &
pid=$!
wait_for_window "Tavlund bildeviser"

[ -z "$(ls -A "$tmp")" ] || { echo "FEIL: tmp is not empty: $(ls -A "$tmp")" >&2; exit 1; }
[ "$(cat "$HOME/viktig.txt")" = viktig ] || { echo "FEIL: the home folder lost viktig.txt" >&2; exit 1; }
[ "$(cat "$HOME/.config/innstilling")" = skjult ] || { echo "FEIL: the home folder lost .config" >&2; exit 1; }
[ -d "$HOME/TEMP" ] || { echo "FEIL: the home folder lost TEMP" >&2; exit 1; }

# A double-click closes the program (one picture: full screen), which writes its log.
xdotool mousemove 300 300 click --repeat 2 --delay 80 1
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$pid" 2>/dev/null; then echo "FEIL: the program did not close" >&2; exit 1; fi
wait "$pid" || { echo "FEIL: exit status $?" >&2; cat "$work/out.log" >&2; exit 1; }
pid=""
log="$work/log.txt"
iconv -f WINDOWS-1252 -t UTF-8 "$APPDATA/Tavlund/log/glimra.log" > "$log"
grep -qF "ADVARSEL: $HOME/ er hjemmemappen og vil ikke bli tømt (oppgitt som $HOME/TEMP/../)." "$log" ||
  { echo "FEIL: no warning in the log" >&2; cat "$log" >&2; exit 1; }
if grep "FEIL:" "$log" | grep -qv "kan ikke tømme skriverkøene"; then echo "FEIL: error lines in the log" >&2; cat "$log" >&2; exit 1; fi
echo "e2e cleanup_deep_tree: ok"
