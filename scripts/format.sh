#!/usr/bin/env bash
# Rewrites the C++ sources in the project's style.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
git ls-files -co --exclude-standard -- 'src/*.h' 'src/*.cpp' 'tests/*.h' 'tests/*.cpp' 'tools/*.h' 'tools/*.cpp' \
    'bench/*.cpp' |
    xargs -r clang-format -i
