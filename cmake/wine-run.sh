#!/usr/bin/env bash
# Runs a cross-built test program under Wine for CTest. Now and then Wine ends a start at once,
# before the program has run: with no output at all, or with only Wine's own complaint that its
# wineserver went away ("wine client error:0: recvmsg: Connection reset by peer"); each seen
# once in a CI run of 56 Windows tests. A test program always prints before its first test, so a
# failed start with no line of the program's own is tried once more, and said so; a program that
# printed anything keeps its result.
#
#   wine-run.sh PROGRAM [ARGUMENTS...]
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
    wine "$@" >"$output" 2>&1
    status=$?
    cat "$output"
    if [ "$status" = 0 ] || [ "$attempt" = 2 ] ||
        grep -qvE '^(wine( client error)?:.*)?$' "$output"; then
        exit "$status"
    fi
    echo "wine-run: Wine ended the start of $1 at once with status $status before it ran; trying once more" >&2
done
