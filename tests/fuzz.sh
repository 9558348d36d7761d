#!/usr/bin/env bash
# Builds the libFuzzer harnesses (preset fuzz, into build/fuzz) and runs each for a fixed time
# on a scratch copy of its seed corpus, so the committed corpus never grows.
#
#   tests/fuzz.sh [SECONDS]     seconds per harness; default $FUZZ_SECONDS or 60
#
# Prints one line per harness and exits non-zero if any harness found a crash, a leak, a
# time-out or ran out of memory. Inputs that failed are kept in build/fuzz/artifacts/.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-${FUZZ_SECONDS:-60}}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds per harness]" >&2
    exit 2
fi
rss_limit_mb=2048
input_timeout=10 # seconds for one input; the parsers take microseconds

build=$root/build/fuzz
artifacts=$build/artifacts
harnesses=()
for source in "$root"/fuzz/*Fuzz.cpp; do
    harnesses+=("$(basename "$source" .cpp)")
done
if [ ${#harnesses[@]} -eq 0 ]; then
    echo "no harnesses in fuzz/" >&2
    exit 2
fi

if ! cmake --preset fuzz -B "$build" >/dev/null ||
    ! cmake --build "$build" -j2 --target "${harnesses[@]}"; then
    echo "fuzz build failed" >&2
    exit 1
fi

scratch=$(mktemp -d /tmp/kestrum-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts"

# The token dictionary that suits a harness's input, if any.
dictionary_for() { # harness
    case $1 in
    XmlParseFuzz | SoapResponseFuzz) echo "$root/fuzz/dict/xml.dict" ;;
    HttpResponseFuzz | SsdpAnswerFuzz) echo "$root/fuzz/dict/http.dict" ;;
    esac
}

# The first failure the log reports, in words.
failure_kind() { # log
    local log=$1
    if grep -q 'ERROR: libFuzzer: timeout' "$log"; then
        echo "time-out"
    elif grep -q 'ERROR: libFuzzer: out-of-memory' "$log"; then
        echo "out of memory"
    elif grep -q 'ERROR: LeakSanitizer' "$log"; then
        echo "leak"
    elif grep -q 'runtime error:' "$log"; then
        echo "undefined behaviour"
    elif grep -q 'ERROR: AddressSanitizer' "$log"; then
        echo "memory error"
    else
        echo "crash"
    fi
}

# Runs one harness; its result line goes to $scratch/<harness>.result, and a failure leaves
# $scratch/<harness>.failed behind.
fuzz_one() { # harness
    local harness=$1 corpus=$scratch/$1 log=$scratch/$1.log status runs coverage artifact
    local options=() dictionary
    mkdir -p "$corpus"
    if [ -d "$root/fuzz/corpus/$harness" ]; then
        cp "$root/fuzz/corpus/$harness"/* "$corpus"/ 2>/dev/null
    fi
    dictionary=$(dictionary_for "$harness")
    if [ -n "$dictionary" ]; then
        options+=(-dict="$dictionary")
    fi
    # The outer limit only guards against a fuzzer that no longer checks its own clock.
    timeout --kill-after=10 $((seconds + 120)) "$build/fuzz/$harness" \
        -max_total_time="$seconds" -rss_limit_mb="$rss_limit_mb" -timeout="$input_timeout" \
        -print_final_stats=1 -artifact_prefix="$artifacts/$harness-" "${options[@]}" "$corpus" \
        >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    if [ $status -eq 0 ]; then
        printf '%-18s ok      %s runs, %s, %s s\n' "$harness" "${runs:-?}" "${coverage:-cov: ?}" \
            "$seconds" >"$scratch/$harness.result"
    else
        touch "$scratch/$harness.failed"
        artifact=$(grep -o "$artifacts/$harness-[^ ]*" "$log" | tail -1)
        {
            printf '%-18s FAILED  %s (exit %d)%s\n' "$harness" "$(failure_kind "$log")" "$status" \
                "${artifact:+, input kept in $artifact}"
            cp "$log" "$artifacts/$harness.log"
            echo "    log: $artifacts/$harness.log"
        } >"$scratch/$harness.result"
    fi
}

# One harness per core at a time.
running=0
for harness in "${harnesses[@]}"; do
    if [ $running -ge 2 ]; then
        wait -n
        running=$((running - 1))
    fi
    fuzz_one "$harness" &
    running=$((running + 1))
done
wait

failed=0
for harness in "${harnesses[@]}"; do
    cat "$scratch/$harness.result"
    [ -e "$scratch/$harness.failed" ] && failed=$((failed + 1))
done

if [ $failed -ne 0 ]; then
    echo "fuzzing: $failed of ${#harnesses[@]} harnesses failed"
    exit 1
fi
echo "fuzzing: all ${#harnesses[@]} harnesses ran $seconds s each without a finding"
