# Shared by the end-to-end scripts (sourced): the program to run ($1), the X server that
# scripts/test.sh started, and a private home for the run that is removed at the end.
set -euo pipefail
glimra="$1"
[ -x "$glimra" ] || { echo "FEIL: no program at $glimra" >&2; exit 1; }
: "${GLIMRA_E2E_DISPLAY:?the end-to-end tests need the X server that scripts/test.sh starts}"
export DISPLAY="$GLIMRA_E2E_DISPLAY"
unset QT_QPA_PLATFORM

work=$(mktemp -d)
pid=""
# The program ends through its normal end order on SIGTERM, saving as it goes: the folder is
# removed only once it has ended. KEEP=1 keeps the folder for a look after a failure.
stop() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() { [ -n "$pid" ] && stop "$pid"; [ -n "${KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT

export APPDATA="$work/appdata" HOME="$work/home" TEMP="$work/tmp"
mkdir -p "$APPDATA/Tavlund/etc" "$HOME" "$TEMP"

# Waits until a window whose name matches $1 is visible; fails when the program ($pid) ends.
wait_for_window() {
  for _ in $(seq 1 100); do
    xdotool search --all --pid "$pid" --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    kill -0 "$pid" 2>/dev/null || { echo "FEIL: the program ended" >&2; cat "$work/out.log" >&2; return 1; }
    sleep 0.1
  done
  echo "FEIL: no window named '$1'" >&2
  return 1
}
