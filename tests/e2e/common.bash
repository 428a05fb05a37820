# Shared by the end-to-end scripts (sourced): the program to run ($1), the X server that
# scripts/test.sh started, and a private home for the run that is removed at the end.
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
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; }
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
