# Sourced by the scripts that need an X server of their own (scripts/test.sh, scripts/mutate.sh).
#
# start_xvfb FIRST LAST LOG: starts Xvfb on the first display number from FIRST to LAST that it
# can take, and returns only once the server accepts connections; sets xvfb_display (":N") and
# xvfb_pid. Fails when no number can be had.
#
# Why it waits this way: a socket file in /tmp/.X11-unix can be there before the server takes
# clients, or belong to another run's server that goes away under us, and a free-looking number
# can be taken by a run that starts at the same moment (its Xvfb then ends at once). So the
# server itself says when it is ready (-displayfd writes the number once it accepts clients),
# a server that ends is replaced by one on the next number, and xdpyinfo must answer before
# anything is started on the display.
#
# -noreset: by default the server starts itself over each time its last client goes away, and a
# program that connects in that moment fails with "could not connect to display". Between the
# tests' short-lived clients (xdotool, import, xdpyinfo) that happens often enough to fail a run
# now and then; with -noreset the server stays up for the whole run.
start_xvfb() {
  local first=$1 last=$2 log=$3 n ready
  ready=$(mktemp)
  for n in $(seq "$first" "$last"); do
    [ -e "/tmp/.X$n-lock" ] && continue
    : >"$ready"
    Xvfb ":$n" -displayfd 3 -noreset -screen 0 1920x1080x24 -nolisten tcp 3>"$ready" >"$log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 600); do
      [ -s "$ready" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -s "$ready" ] && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
      xvfb_display=":$n"
      rm -f "$ready"
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  done
  rm -f "$ready"
  echo "Fikk ikke startet Xvfb på noen skjerm fra :$first til :$last (se $log)" >&2
  return 1
}
