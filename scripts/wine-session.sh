#!/usr/bin/env bash
# wine-session.sh start [--fresh] | stop
# One persistent Wine session for a run of tests or the demo. Its background processes get no
# terminal: they would inherit the caller's stderr, and whoever waits for end-of-file on it stalls.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

case "${1:-}" in
    start)
        if [ "${2:-}" = "--fresh" ]; then
            wineserver -k </dev/null >/dev/null 2>&1 || true
            rm -rf "$WINEPREFIX"
        fi
        mkdir -p "$(dirname "$WINEPREFIX")"
        wineserver -p </dev/null >/dev/null 2>&1 || true
        "$halvern_root/cmake/wine-run.sh" wineboot </dev/null >/dev/null 2>&1
        ;;
    stop)
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        ;;
    *)
        echo "usage: $0 start [--fresh] | stop" >&2
        exit 2
        ;;
esac
