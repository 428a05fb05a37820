#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. The end-to-end tests get an
# X server of their own (Xvfb), started here and stopped afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

display=""
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "Fant ingen ledig skjerm for Xvfb" >&2; exit 1; }

Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/tmp/glimra-xvfb.log 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
export GLIMRA_E2E_DISPLAY="$display"

(cd build && ctest --output-on-failure -j 2 --timeout 600)

# The Debian package, installed, started and removed (as root only; see the script).
scripts/package-check.sh
