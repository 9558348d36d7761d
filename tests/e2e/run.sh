#!/usr/bin/env bash
# End-to-end test: kestrum-probe watches a real gateway daemon (miniupnpd) while traffic of known
# size passes through the gateway's WAN interface; the rates it reports must match.
#
#   tests/e2e/run.sh BUILD_DIR [WINDOWS_BUILD_DIR]
#
# BUILD_DIR holds tools/kestrum-probe. With WINDOWS_BUILD_DIR, tools/kestrum-probe.exe is measured
# the same way under Wine. Needs root. The network is that of tools/sandbox/network.sh.
#
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR [WINDOWS_BUILD_DIR]}
windows_build=${2:-}
probe=$(cd "$build" && pwd)/tools/kestrum-probe
friendly_name="Kestrum Test Gateway"
tolerance_percent=5
send_seconds=10
refresh_ms=200
# The default graph scale, far below the test's 1 000 and 500 KB/s: the rates must come out in
# full all the same.
scale=30

# shellcheck source=common.sh
. "$here/common.sh"
[ -x "$probe" ] || fail "no probe at $probe"

# Waits until the probe log shows rates from the gateway, at most 60 s.
wait_for_rates() { # log
    local tries
    for tries in $(seq 300); do
        grep -q "status=\"$friendly_name\" rx=[0-9]" "$1" 2>/dev/null && return 0
        sleep 0.2
    done
    fail "the probe reported no rates from \"$friendly_name\""
}

# Starts a probe command in the LAN and checks the rates it reports in both directions; the
# probe keeps running, its pid in probe_pid.
measure() { # name command...
    local name=$1
    shift
    local log="$work/$name.log" plan="$work/$name.plan"
    : >"$plan"
    ip netns exec "$lan" "$@" --refresh "$refresh_ms" --scale "$scale" >"$log" 2>"$work/$name.err.log" &
    probe_pid=$!
    wait_for_rates "$log"
    echo "$name probe: the first rate $(grep -m 1 ' rx=[0-9]' "$log" | cut -d' ' -f1) ms after the start"
    send_phase rx "$plan" 1000000
    send_phase tx "$plan" 500000
    echo "$name probe (graph scale $scale KB/s):"
    python3 "$here/check_rates.py" "$log" "$plan" "$tolerance_percent" ||
        fail "$name: the reported rates do not match the traffic"
}

# --updates N: exits by itself, with status 0, after N updates with rates.
check_updates_option() { # name command...
    local name=$1
    shift
    local log="$work/$name-updates.log" status=0
    in_ns "$lan" timeout 120 "$@" --refresh "$refresh_ms" --updates 3 >"$log" 2>&1 || status=$?
    [ "$status" = 0 ] || fail "$name: --updates 3 exited with status $status"
    [ "$(grep -c ' rx=[0-9]' "$log")" = 3 ] || fail "$name: --updates 3 printed other than 3 rate lines"
    echo "$name probe: --updates 3 stopped after 3 updates with rates, status 0"
}

check_options() {
    local output status bad
    for bad in "--refresh 99" "--refresh 10001" "--scale 0" "--scale 1000001" "--updates 0" \
        "--refresh" "--refresh 1e3" "--scale -5" "--bogus"; do
        status=0
        # Inside the LAN all the same: an option wrongly accepted would start a search.
        # shellcheck disable=SC2086 # the options are meant to split
        output=$(in_ns "$lan" timeout 10 "$probe" $bad 2>&1) || status=$?
        [ "$status" = 2 ] || fail "kestrum-probe $bad exited with status $status, not 2"
        [ "$(printf '%s\n' "$output" | wc -l)" = 1 ] || fail "kestrum-probe $bad printed: $output"
    done
    echo "bad options: each rejected with one line and status 2"
}

make_network
check_options
start_gateway

measure linux "$probe"
kill -TERM "$probe_pid"
for tries in $(seq 150); do
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$probe_pid" 2>/dev/null && fail "linux: the probe did not stop within 30 s of SIGTERM"
status=0
wait "$probe_pid" || status=$?
[ "$status" = 0 ] || fail "linux: the probe ended with status $status on SIGTERM"
echo "linux probe: stopped cleanly by SIGTERM"
check_updates_option linux "$probe"

if [ -n "$windows_build" ]; then
    windows_probe=$(cd "$windows_build" && pwd)/tools/kestrum-probe.exe
    [ -f "$windows_probe" ] || fail "no probe at $windows_probe"
    # A prefix of our own: its wineserver starts inside the LAN namespace, where the sockets are.
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
    in_ns "$lan" timeout 120 wineboot -i >/dev/null 2>&1 || true
    measure windows wine "$windows_probe"
    kill -KILL "$probe_pid" 2>/dev/null || true
    wait "$probe_pid" 2>/dev/null || true
    check_updates_option windows wine "$windows_probe"
fi
echo "end to end: PASSED"
