#!/usr/bin/env bash
# The benchmark (scripts/bench.py says what it measures): prints figures, asserts nothing. Builds the
# Windows preset and a stripped release exe, then runs everything in a throwaway prefix of its own
# (build/bench-wineprefix). Its sink listens on port 443 and waits while someone else's holds it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target all halvern_bench >/dev/null
# The release exe as it ships; the host only names where its events would go.
cmake --preset release -B build/bench-release --fresh -DHALVERN_TELEMETRY_HOST=telemetry.bench.invalid >/dev/null
cmake --build build/bench-release --target HalvernCleanup >/dev/null

export HALVERN_WINEPREFIX="$PWD/build/bench-wineprefix"
source scripts/wine-env.sh
scripts/wine-session.sh start --fresh
trap 'scripts/wine-session.sh stop' EXIT

release=build/bench-release/HalvernCleanup.exe
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $(wine --version); $(uname -sr)"
echo "(c) stripped release exe: $(stat -c %s "$release") bytes ($(($(stat -c %s "$release") / 1024)) KiB);" \
     "load-time imports: $(x86_64-w64-mingw32-objdump -p "$release" | sed -n 's/^\tDLL Name: //p' | paste -sd ' ')"
python3 scripts/bench.py
