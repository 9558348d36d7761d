#!/usr/bin/env bash
# What watching a real gateway costs the machine: kestrum-probe against the gateway daemon
# (miniupnpd) at the default refresh, with traffic through the gateway in both directions.
# Prints the probe's CPU seconds per hour, its resident memory and its readings per hour; under
# Wine also the CPU of the wineserver, which performs every socket call of the program.
#
#   tests/e2e/probe-cost.sh SECONDS PROBE [wine]
#
# PROBE is a native kestrum-probe, or with "wine" a kestrum-probe.exe. Needs root. The network is
# that of network.sh, so nothing leaves the namespaces made here.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:?usage: probe-cost.sh SECONDS PROBE [wine]}
probe=$(realpath "${2:?usage: probe-cost.sh SECONDS PROBE [wine]}")
runner=${3:-}
friendly_name="Kestrum Test Gateway"
warm_up_seconds=5
# Each direction, in payload bytes per second: traffic the counters must follow, far from a
# load on the machine.
traffic_rate=50000

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# shellcheck source=../../tools/sandbox/network.sh
. "$here/../../tools/sandbox/network.sh"
require_network_tools
[ -f "$probe" ] || fail "no probe at $probe"

# User plus system time of a process in clock ticks.
cpu_ticks() { # pid
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# Runs a command again and again for the whole measurement: traffic.py ends each run by itself
# within a minute.
keep_running() { # namespace command...
    local deadline=$((SECONDS + seconds + warm_up_seconds + 120))
    while [ "$SECONDS" -lt "$deadline" ]; do
        in_ns "$@" >/dev/null
    done
}

make_network
start_gateway
keep_running "$lan" python3 "$sandbox_dir/traffic.py" sink 9000 60 &
helpers=$!
keep_running "$wan" python3 "$sandbox_dir/traffic.py" sink 9000 60 &
helpers="$helpers $!"

log="$work/probe.log"
if [ "$runner" = wine ]; then
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
    in_ns "$lan" timeout 120 wineboot -i >/dev/null 2>&1 || true
    ip netns exec "$lan" wine "$probe" >"$log" 2>&1 &
else
    ip netns exec "$lan" "$probe" >"$log" 2>&1 &
fi
probe_pid=$!
for tries in $(seq 300); do
    grep -q "status=\"$friendly_name\" rx=[0-9]" "$log" 2>/dev/null && break
    [ "$tries" = 300 ] && fail "the probe reported no rates"
    sleep 0.2
done
keep_running "$wan" python3 "$sandbox_dir/traffic.py" send 192.168.77.2 9000 1000 "$traffic_rate" 60 &
helpers="$helpers $!"
keep_running "$lan" python3 "$sandbox_dir/traffic.py" send 10.77.0.2 9000 1000 "$traffic_rate" 60 &
helpers="$helpers $!"
sleep "$warm_up_seconds"

server_pid=
if [ "$runner" = wine ]; then
    for pid in $(ip netns pids "$lan"); do
        case $(cat "/proc/$pid/comm" 2>/dev/null) in wineserver*) server_pid=$pid ;; esac
    done
    [ -n "$server_pid" ] || fail "no wineserver in the namespace"
fi

ticks=$(getconf CLK_TCK)
lines_before=$(wc -l <"$log")
probe_before=$(cpu_ticks "$probe_pid")
server_before=0
[ -n "$server_pid" ] && server_before=$(cpu_ticks "$server_pid")
sleep "$seconds"
probe_after=$(cpu_ticks "$probe_pid")
server_after=0
[ -n "$server_pid" ] && server_after=$(cpu_ticks "$server_pid")
lines_after=$(wc -l <"$log")
rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$probe_pid/status")
kill -0 "$probe_pid" || fail "the probe ended during the measurement"
# shellcheck disable=SC2086 # a list of pids
kill $helpers 2>/dev/null || true

per_hour() { # ticks
    awk -v t="$1" -v hz="$ticks" -v s="$seconds" 'BEGIN { printf "%.2f", t / hz * 3600 / s }'
}
echo "probe: $(per_hour $((probe_after - probe_before))) CPU-s per hour, RSS $rss KB," \
    "$(((lines_after - lines_before) * 3600 / seconds)) updates per hour, over $seconds s"
if [ -n "$server_pid" ]; then
    echo "wineserver: $(per_hour $((server_after - server_before))) CPU-s per hour"
fi
