#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. The end-to-end tests get an
# X server of their own (Xvfb), started here and stopped afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

source scripts/xvfb.bash
start_xvfb 90 130 /tmp/glimra-xvfb.log
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true' EXIT
export GLIMRA_E2E_DISPLAY="$xvfb_display"

(cd build && ctest --output-on-failure -j 2 --timeout 600)

# The Debian package, installed, started and removed (as root only; see the script).
scripts/package-check.sh
