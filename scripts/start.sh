#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer (arguments go to the program).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/glimra "$@"
