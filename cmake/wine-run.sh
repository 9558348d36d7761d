#!/usr/bin/env bash
# Runs a cross-built test program under Wine for CTest. Now and then Wine ends a start at once,
# with no output at all and a failing status, before the program has run (seen once in a CI run
# of 56 Windows tests). A test program always prints before its first test, so such a start is
# tried once more, and said so; a program that printed anything keeps its result.
#
#   wine-run.sh PROGRAM [ARGUMENTS...]
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
    wine "$@" >"$output" 2>&1
    status=$?
    cat "$output"
    if [ "$status" = 0 ] || [ -s "$output" ] || [ "$attempt" = 2 ]; then
        exit "$status"
    fi
    echo "wine-run: Wine ended the start of $1 at once with status $status and no output; trying once more" >&2
done
