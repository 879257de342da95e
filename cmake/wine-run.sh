#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix (see scripts/wine-session.sh for the session
# that the test command starts once and ends after the tests).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../scripts/wine-env.sh
source "$here/../scripts/wine-env.sh"
exec wine "$@"
