#!/usr/bin/env bash
# What watching a real gateway costs the machine: kestrum-probe natively or under Wine, or the
# program itself (kestrum.exe) under Wine on a virtual display, against the gateway daemon
# (miniupnpd) at the default refresh, with traffic through the gateway in both directions.
# Prints the program's CPU seconds per hour and resident memory; under Wine also the CPU of the
# wineserver, which performs every socket call and window message of the program.
#
#   tests/e2e/cost.sh SECONDS PROGRAM [wine | window READER]
#
# PROGRAM is a native kestrum-probe, with "wine" a kestrum-probe.exe, with "window" a kestrum.exe,
# whose window READER (kestrum-window-reader.exe) watches until it shows the gateway. Needs root;
# "window" also Xvfb. The network is that of network.sh, so nothing leaves the namespaces made
# here.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
usage="usage: cost.sh SECONDS PROGRAM [wine | window READER]"
seconds=${1:?$usage}
program=$(realpath "${2:?$usage}")
runner=${3:-}
reader=
[ "$runner" = window ] && reader=$(realpath "${4:?$usage}")
friendly_name="Kestrum Test Gateway"
warm_up_seconds=5
# Each direction, in payload bytes per second: traffic the counters must follow, far from a
# load on the machine.
traffic_rate=50000

# shellcheck source=common.sh
. "$here/common.sh"
[ -f "$program" ] || fail "no program at $program"

# User plus system time of a process in clock ticks.
cpu_ticks() { # pid
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# Runs a command again and again for the whole measurement: traffic.py ends each run by itself
# within a minute.
# A sender still running when the namespaces go reports its network gone; that is no finding.
keep_running() { # namespace command...
    local deadline=$((SECONDS + seconds + warm_up_seconds + 120))
    while [ "$SECONDS" -lt "$deadline" ]; do
        in_ns "$@" >/dev/null 2>&1
    done
}

make_network
start_gateway
keep_running "$lan" python3 "$sandbox_dir/traffic.py" sink 9000 60 &
helpers=$!
keep_running "$wan" python3 "$sandbox_dir/traffic.py" sink 9000 60 &
helpers="$helpers $!"

# Until the program shows rates of the gateway: the probe prints them, the window is read.
showing_rates() {
    if [ "$runner" = window ]; then
        in_ns "$lan" timeout 60 wine "$reader" watch 1 2>/dev/null |
            grep -q "status=\"$friendly_name\" rx=[0-9]"
    else
        grep -q "status=\"$friendly_name\" rx=[0-9]" "$log" 2>/dev/null
    fi
}

log="$work/program.log"
case $runner in
window)
    start_display 1024x768 "$lan" || fail "no display"
    prepare_wine_prefix "$work/wineprefix" "$lan" 800x600 || fail "no Wine prefix"
    ip netns exec "$lan" wine "$program" >"$log" 2>&1 &
    ;;
wine)
    prepare_wine_prefix "$work/wineprefix" "$lan" || fail "no Wine prefix"
    ip netns exec "$lan" wine "$program" >"$log" 2>&1 &
    ;;
*)
    ip netns exec "$lan" "$program" >"$log" 2>&1 &
    ;;
esac
program_pid=$!
for tries in $(seq 150); do
    showing_rates && break
    [ "$tries" = 150 ] && fail "the program showed no rates"
    sleep 0.2
done
keep_running "$wan" python3 "$sandbox_dir/traffic.py" send 192.168.77.2 9000 1000 "$traffic_rate" 60 &
helpers="$helpers $!"
keep_running "$lan" python3 "$sandbox_dir/traffic.py" send 10.77.0.2 9000 1000 "$traffic_rate" 60 &
helpers="$helpers $!"
sleep "$warm_up_seconds"

server_pid=
if [ -n "$runner" ]; then
    for pid in $(ip netns pids "$lan"); do
        case $(cat "/proc/$pid/comm" 2>/dev/null) in wineserver*) server_pid=$pid ;; esac
    done
    [ -n "$server_pid" ] || fail "no wineserver in the namespace"
fi

ticks=$(getconf CLK_TCK)
lines_before=$(wc -l <"$log")
program_before=$(cpu_ticks "$program_pid")
server_before=0
[ -n "$server_pid" ] && server_before=$(cpu_ticks "$server_pid")
sleep "$seconds"
program_after=$(cpu_ticks "$program_pid")
server_after=0
[ -n "$server_pid" ] && server_after=$(cpu_ticks "$server_pid")
lines_after=$(wc -l <"$log")
rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status")
kill -0 "$program_pid" || fail "the program ended during the measurement"
# shellcheck disable=SC2086 # a list of pids
kill $helpers 2>/dev/null || true

per_hour() { # ticks
    awk -v t="$1" -v hz="$ticks" -v s="$seconds" 'BEGIN { printf "%.2f", t / hz * 3600 / s }'
}
updates=
[ "$runner" = window ] ||
    updates=", $(((lines_after - lines_before) * 3600 / seconds)) updates per hour"
echo "$(basename "$program"): $(per_hour $((program_after - program_before))) CPU-s per hour," \
    "RSS $rss KB$updates, over $seconds s"
if [ -n "$server_pid" ]; then
    echo "wineserver: $(per_hour $((server_after - server_before))) CPU-s per hour"
fi
