# Shared by the end-to-end scripts (sourced): the program to run ($1), the X server that
# scripts/test.sh started, and a private home for the run that is removed at the end. With
# GLIMRA_E2E_WM=openbox the script runs under the openbox window manager, started here on that
# X server and stopped at the end; without it, on the bare X server.
set -euo pipefail
glimra="$1"
[ -x "$glimra" ] || { echo "FEIL: no program at $glimra" >&2; exit 1; }
: "${GLIMRA_E2E_DISPLAY:?the end-to-end tests need the X server that scripts/test.sh starts}"
export DISPLAY="$GLIMRA_E2E_DISPLAY"
# scripts/test.sh hands over a server that already takes clients; say so plainly if it does not,
# rather than as the program's own failure to start.
xdpyinfo >/dev/null 2>&1 || { echo "FEIL: the X server $DISPLAY does not answer" >&2; exit 1; }
unset QT_QPA_PLATFORM

work=$(mktemp -d)
pid=""
wm_pid=""
# The program ends through its normal end order on SIGTERM, saving as it goes: the folder is
# removed only once it has ended. KEEP=1 keeps the folder for a look after a failure.
stop() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  set +e   # every step runs, whatever the one before it met
  [ -n "$pid" ] && stop "$pid"
  if [ -n "$wm_pid" ]; then kill "$wm_pid" 2>/dev/null; wait "$wm_pid" 2>/dev/null; fi
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

export APPDATA="$work/appdata" HOME="$work/home" TEMP="$work/tmp"
mkdir -p "$APPDATA/Tavlund/etc" "$HOME" "$TEMP"

case "${GLIMRA_E2E_WM:-}" in
  "") ;;
  openbox)
    # A window manager that ended leaves its mark on the root window; without this the wait
    # below could take an earlier openbox's mark for this one's.
    xprop -root -remove _NET_SUPPORTING_WM_CHECK 2>/dev/null || true
    openbox --sm-disable >"$work/wm.log" 2>&1 &
    wm_pid=$!
    # Ready once it names itself on the root window as the managing window manager.
    for _ in $(seq 1 100); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
      kill -0 "$wm_pid" 2>/dev/null || { echo "FEIL: openbox ended" >&2; cat "$work/wm.log" >&2; exit 1; }
      sleep 0.1
    done
    xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "FEIL: openbox did not start" >&2; exit 1; }
    ;;
  *) echo "FEIL: unknown window manager '$GLIMRA_E2E_WM'" >&2; exit 1 ;;
esac

# Waits until a window whose name matches $1 is visible; fails when the program ($pid) ends.
# Up to 30 s: in the sanitized build on a busy machine a start takes several seconds.
wait_for_window() {
  for _ in $(seq 1 300); do
    xdotool search --all --pid "$pid" --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    kill -0 "$pid" 2>/dev/null || { echo "FEIL: the program ended" >&2; cat "$work/out.log" >&2; return 1; }
    sleep 0.1
  done
  echo "FEIL: no window named '$1'" >&2
  return 1
}
