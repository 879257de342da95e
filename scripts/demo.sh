#!/usr/bin/env bash
# Builds the Windows exe and its companion tools, then shows a run in each mode under Wine, in a
# throwaway prefix of its own.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
export HALVERN_WINEPREFIX="$PWD/build/demo-wineprefix"
scripts/wine-session.sh start --fresh
trap 'scripts/wine-session.sh stop' EXIT
python3 scripts/demo.py
