#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (ASan, UBSan) and the style check, the
# libFuzzer targets for a fixed number of inputs, then the
# Windows tests and end-to-end tests under Wine in a fresh throwaway prefix.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz

cmake --preset windows
cmake --build --preset windows
scripts/wine-session.sh start --fresh
trap 'scripts/wine-session.sh stop' EXIT
ctest --preset windows
