#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test of Kestrum: the native build, the
# AddressSanitizer+UndefinedBehaviorSanitizer and ThreadSanitizer builds, the Windows build under
# Wine, the end-to-end tests against a real gateway daemon and a scriptable fake one in network
# namespaces, and the fuzzers of the parsers.
# Must run as root (packages, network namespaces). Exits non-zero if anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
export DEBIAN_FRONTEND=noninteractive
# Here the tests that multicast or open windows must run: where they cannot have their network
# namespace or a display, they fail instead of skipping.
export KESTRUM_REQUIRE_NAMESPACES=1 KESTRUM_REQUIRE_DISPLAY=1

declare -a step_names=() step_results=() step_seconds=()
tests_passed=0
tests_skipped=0
tests_failed=0
failures=0

record() { # name result seconds
    step_names+=("$1")
    step_results+=("$2")
    step_seconds+=("$3")
    [ "$2" = ok ] || failures=$((failures + 1))
}

# Runs one step, timing it; its output goes to the log as it comes.
step() { # name command...
    local name=$1
    shift
    echo
    echo "=== $name ==="
    local start=$SECONDS
    if "$@"; then
        record "$name" ok $((SECONDS - start))
    else
        record "$name" FAILED $((SECONDS - start))
        return 1
    fi
}

install_packages() {
    apt-get update -qq &&
        apt-get install -y -qq --no-install-recommends \
            cmake make g++ googletest libgtest-dev libgmock-dev clang-format \
            g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 \
            wine wine64 xvfb xauth imagemagick fonts-wine fonts-liberation fonts-wqy-microhei \
            iproute2 procps python3 miniupnpd-nftables \
            clang libclang-rt-14-dev >/dev/null
}

# shellcheck source=../tools/sandbox/desktop.sh
. tools/sandbox/desktop.sh

# Turns the BMP pictures a program left in a directory into PNG; fails when there are none.
bmp_to_png() { # directory
    local bmp
    for bmp in "$1"/*.bmp; do
        [ -e "$bmp" ] || return 1 # no pictures at all
        convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp" || return 1
    done
}

# Pictures of every control in every state, kept as PNG for a person to look at.
gallery() {
    local out=build/windows/gallery
    rm -rf "$out" && mkdir -p "$out" || return 1
    # In the prefix the Windows tests prepared, with Windows' fonts.
    (cd "$out" && WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all \
        wine ../tests/gallery/kestrum-gallery.exe .) || return 1
    bmp_to_png "$out"
}

build_preset() { # preset
    rm -rf "build/$1"
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j2
}

test_preset() { # preset
    local log="build/$1-ctest.log" rc summary skipped
    # Two jobs at once (the test presets say so): the minute-long stop runs beside the rest.
    ctest --preset "$1" --timeout 600 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    # A program that ran no case (its every case skipped) is listed as "(Skipped)".
    skipped=$(grep -cE '\(Skipped\)$' "$log")
    if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        tests_failed=$((tests_failed + BASH_REMATCH[1]))
        tests_skipped=$((tests_skipped + skipped))
        tests_passed=$((tests_passed + BASH_REMATCH[2] - BASH_REMATCH[1] - skipped))
    fi
    return "$rc"
}

step "install packages" install_packages
for preset in linux linux-asan linux-tsan; do
    step "build $preset" build_preset "$preset" && step "test $preset" test_preset "$preset"
done
# The Windows tests as a developer runs the preset: in a prefix nobody prepared (no WINEPREFIX, a
# home of its own); the tests prepare their own.
test_windows_unprepared() {
    local home=$HOME status=0
    unset WINEPREFIX
    HOME=$(mktemp -d /tmp/kestrum-home.XXXXXX) || return 1
    test_preset windows || status=$?
    rm -rf "$HOME"
    HOME=$home
    return "$status"
}

if step "build windows" build_preset windows; then
    # One virtual display for the Windows GUI tests and the gallery.
    step "start a display (Xvfb)" start_display 1280x1024
    step "test windows (wine, prefix unprepared)" test_windows_unprepared
    step "control gallery (build/windows/gallery/*.png)" gallery
    # The desktop tests' pictures of the monitor window at 96 and 144 DPI and back at 96, and of
    # the connection details at 96 and 144 DPI.
    step "windows per DPI (build/windows/tests/desktop/dpi-screenshots/*.png)" \
        bmp_to_png build/windows/tests/desktop/dpi-screenshots
fi
# Run, not passed over: a missing or non-executable script fails its step.
step "end to end (miniupnpd in namespaces)" tests/e2e/run.sh "$root/build/linux" "$root/build/windows"
step "end to end, gateway modes (fake gateway)" tests/e2e/modes.sh "$root/build/linux"
step "end to end, discovery on every kind of network" \
    tests/e2e/discovery.sh "$root/build/linux" "$root/build/windows" \
    "$root/build/windows/e2e-screenshots"
step "end to end, the window (build/windows/e2e-screenshots/*.png)" \
    tests/e2e/gui.sh "$root/build/windows" "$root/build/windows/e2e-screenshots"
step "end to end, the connection details (miniupnpd's facts, probe and window)" \
    tests/e2e/details.sh "$root/build/linux" "$root/build/windows"
step "soak, 3 minutes (build/windows/soak/*.log)" tests/e2e/soak.sh 3 "$root/build/windows"
step "fuzz the parsers (libFuzzer, 60 s each)" tests/fuzz.sh 60
command -v wineserver >/dev/null && WINEPREFIX="$root/build/windows/wineprefix" wineserver -k 2>/dev/null
[ -n "${display_pid:-}" ] && kill "$display_pid" 2>/dev/null

echo
echo "=== Summary ==="
for i in "${!step_names[@]}"; do
    printf '%-45s %-7s %5ss\n' "${step_names[$i]}" "${step_results[$i]}" "${step_seconds[$i]}"
done
echo "CTest programs: $tests_passed passed, $tests_skipped skipped, $tests_failed failed (all presets together)"
if [ "$failures" -eq 0 ]; then
    echo "All steps passed."
else
    echo "$failures step(s) failed."
fi
# A step that failed without a failing test (an install or a build) still counts as a failure.
[ "$failures" -gt 0 ] && [ "$tests_failed" -eq 0 ] && tests_failed=$failures
echo "$tests_passed passed, $tests_failed failed"
[ "$failures" -eq 0 ]
