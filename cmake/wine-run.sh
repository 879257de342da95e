#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix (see scripts/wine-session.sh for the session
# that the test command starts once and ends after the tests). Every Wine start of the tests, the demo
# and the session goes through here.
#
# Now and then Wine fails to start a program: the new process dies before it is set up. For a program
# named without its folder (reg, regedit, winecfg), Wine's loader hands the command to start.exe, which
# then prints "Application could not be started, ..." first on stdout and exits 1; the capture tool,
# which starts the program it debugs itself, exits 3. Only such a start is tried again, up to three
# times in all; a program that ran and failed (reg's exit code 1, say) is not. The output is held until
# the attempt that counts is known, so that only that one's reaches the caller. When Wine never starts
# the program, exit code 126.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../scripts/wine-env.sh
source "$here/../scripts/wine-env.sh"
held=$(mktemp -d)
trap 'rm -rf "$held"' EXIT
not_started() {
    if [ "$(basename "$1")" = HalvernDebugCapture.exe ]; then
        [ "$status" -eq 3 ]
    else
        [ "$status" -eq 1 ] && head -n 1 "$held/stdout" |
            grep -q '^Application could not be started, or no application associated with the specified file\.'
    fi
}
for attempt in 1 2 3; do
    wine "$@" >"$held/stdout" 2>"$held/stderr"
    status=$?
    if ! not_started "$@"; then
        cat "$held/stdout"
        cat "$held/stderr" >&2
        exit "$status"
    fi
done
cat "$held/stdout" "$held/stderr" >&2
echo "wine-run.sh: Wine could not start $1 in $attempt attempts" >&2
exit 126
