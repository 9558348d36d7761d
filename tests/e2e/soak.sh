#!/usr/bin/env bash
# Soak test: kestrum.exe under Wine and Xvfb inside the LAN namespace watches the real gateway
# daemon (miniupnpd) for MINUTES at a 100 ms refresh, with traffic through the gateway's WAN
# interface that changes every 5 s. Early in the run the daemon is stopped for 40 s and started
# again (the status line must go back to searching, then show the gateway again), and the icon is
# taken out of the notification area and "TaskbarCreated" broadcast (the icon must come back).
# Every 10 s a small Windows program in the same Wine session samples the process's GDI and USER
# objects, handles, memory and CPU time. Fails when a count or the memory grows once the first
# minute and the events are behind, or when the window shows a rate above the traffic sent.
#
# Before the soak, one minute at the default refresh of 500 ms gives the program's cost: CPU
# seconds per hour (its own and its wineserver's) and memory, printed for tracking, not checked.
#
#   tests/e2e/soak.sh MINUTES [WINDOWS_BUILD_DIR [ARTEFACT_DIR]]
#
# WINDOWS_BUILD_DIR defaults to build/windows; the samples, the window's readings and the events
# are kept in ARTEFACT_DIR (default WINDOWS_BUILD_DIR/soak).
#
# Needs root, Wine and Xvfb. The network is that of tools/sandbox/network.sh.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
minutes=${1:?usage: soak.sh MINUTES [WINDOWS_BUILD_DIR [ARTEFACT_DIR]]}
windows_build=$(cd "${2:-$here/../../build/windows}" && pwd)
artefacts=${3:-$windows_build/soak}
friendly_name="Kestrum Test Gateway"
exe="$windows_build/shell/app/kestrum.exe"
reader="$windows_build/tools/sandbox/kestrum-window-reader.exe"
helper="$windows_build/tests/e2e/kestrum-soak-helper.exe"
# A scale well above the traffic, so that the readouts do not clamp a spike away.
scale=2000
outage_seconds=40
phase_seconds=5
# Payload bytes per second, received and sent, one pair per phase, in turn.
rx_rates=(0 100000 300000 50000 200000 0)
tx_rates=(150000 0 50000 250000 100000 0)

# shellcheck source=common.sh
. "$here/common.sh"
if ! [[ $minutes =~ ^[1-9][0-9]*$ ]] || [ "$minutes" -lt 3 ]; then
    fail "MINUTES must be a whole number, 3 or more"
fi
for tool in wine wineserver Xvfb; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
for program in "$exe" "$reader" "$helper"; do
    [ -f "$program" ] || fail "no program at $program"
done

wine_in_lan() { # program arguments...
    in_ns "$lan" timeout 120 wine "$@"
}

# The Linux process of a program running in the LAN namespace, such as kestrum.exe or wineserver.
lan_process() { # pattern that the end of the command's path matches
    local pid
    for pid in $(ip netns pids "$lan"); do
        if tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n 1 | grep -qEi "$1\$"; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}

cpu_ticks() { # pid: user plus system time in clock ticks
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

rss_kb() { # pid
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

now_ms() {
    date +%s%3N
}

event() { # text
    echo "$(now_ms) $*" >>"$work/events.log"
    echo "$(date -u +%H:%M:%S) $*"
}

# Traffic both ways through the WAN interface, a new pair of rates every phase, for at most
# SECONDS or until stopped.
traffic() { # seconds
    local phase=0 rx tx end=$((SECONDS + $1))
    while [ "$SECONDS" -lt "$end" ] && [ ! -e "$work/stop-traffic" ]; do
        rx=${rx_rates[phase % ${#rx_rates[@]}]}
        tx=${tx_rates[phase % ${#tx_rates[@]}]}
        ip netns exec "$lan" python3 "$sandbox_dir/traffic.py" sink 9000 $((phase_seconds + 1)) &
        ip netns exec "$wan" python3 "$sandbox_dir/traffic.py" sink 9000 $((phase_seconds + 1)) &
        sleep 0.3
        [ "$rx" -gt 0 ] && ip netns exec "$wan" python3 "$sandbox_dir/traffic.py" send \
            192.168.77.2 9000 1000 "$rx" "$phase_seconds" >/dev/null &
        [ "$tx" -gt 0 ] && ip netns exec "$lan" python3 "$sandbox_dir/traffic.py" send \
            10.77.0.2 9000 1000 "$tx" "$phase_seconds" >/dev/null &
        wait
        phase=$((phase + 1))
    done
}

stop_gateway() {
    local pid
    # Only the daemon lives in the gateway's namespace.
    for pid in $(ip netns pids "$gw"); do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for _ in $(seq 50); do
        [ -z "$(ip netns pids "$gw")" ] && return 0
        sleep 0.2
    done
    fail "the gateway daemon did not stop"
}

# Measures the program's CPU time and memory over a minute at the default refresh.
measure_cost() {
    local server cpu_before server_before seconds=60 hz
    hz=$(getconf CLK_TCK)
    server=$(lan_process '/wineserver(64)?') || fail "no wineserver in the LAN namespace"
    cpu_before=$(cpu_ticks "$kestrum_unix_pid")
    server_before=$(cpu_ticks "$server")
    sleep "$seconds"
    awk -v own=$(($(cpu_ticks "$kestrum_unix_pid") - cpu_before)) \
        -v server=$(($(cpu_ticks "$server") - server_before)) -v hz="$hz" -v s="$seconds" \
        -v rss="$(rss_kb "$kestrum_unix_pid")" 'BEGIN {
            printf "cost at the default refresh (500 ms), with traffic, over %d s: kestrum.exe %.0f CPU-s per hour, its wineserver %.0f CPU-s per hour, RSS %d KB\n",
                s, own / hz * 3600 / s, server / hz * 3600 / s, rss }'
}

exit_from_tray_menu() {
    local ms
    ms=$(wine_in_lan "$reader" exit 60) || fail "Exit from the tray menu did not close the window"
    echo "Exit from the tray menu: kestrum.exe ended $ms ms after the choice"
    await_program_end "$kestrum_pid" kestrum.exe "$lan" || fail "Exit did not end kestrum.exe cleanly"
}

# Whichever way the script ends, the traffic loop ends with it and the logs are kept.
finish() {
    local status=$?
    touch "$work/stop-traffic"
    [ -n "${traffic_pid:-}" ] && wait "$traffic_pid" 2>/dev/null
    cp "$work"/{samples,watch,events}.log "$artefacts" 2>/dev/null
    (exit "$status")
    cleanup
}
trap finish EXIT
mkdir -p "$artefacts"
rm -f "$artefacts"/{samples,watch,events}.log

make_network
start_gateway
start_display 1024x768 "$lan" || fail "no display"
# One virtual desktop draws the window frames and the notification area.
prepare_wine_prefix "$work/wineprefix" "$lan" 800x600 || fail "no Wine prefix"

ip netns exec "$lan" wine "$exe" >"$work/kestrum.log" 2>&1 &
kestrum_pid=$!
wine_in_lan "$reader" find 120 >/dev/null || fail "the window did not appear"
kestrum_unix_pid=$(lan_process 'kestrum\.exe') || fail "no kestrum.exe process"
# Generous: the gateway, the cost minute, the soak and the exit.
total_seconds=$((60 + 60 + minutes * 60 + 60))
traffic "$total_seconds" &
traffic_pid=$!
# One watcher of the window's status line and readouts for the whole run.
ip netns exec "$lan" wine "$reader" watch "$total_seconds" >"$work/watch.log" \
    2>"$work/watch.err.log" &
watch_pid=$!
for _ in $(seq 120); do
    grep -q "status=\"$friendly_name\"" "$work/watch.log" && break
    sleep 0.5
done
grep -q "status=\"$friendly_name\"" "$work/watch.log" ||
    fail "the status line never showed \"$friendly_name\""

wine_in_lan "$reader" apply "$scale" 500
sleep 2
measure_cost

wine_in_lan "$reader" apply "$scale" 100
event "soak start: $minutes minutes at a 100 ms refresh"
ip netns exec "$lan" wine "$helper" sample $((minutes * 60 + 5)) 10 >"$work/samples.log" \
    2>"$work/samples.err.log" &
sampler_pid=$!
start=$SECONDS
# The gateway goes away and the taskbar comes back early, so that the longest stretch of the run
# comes after them and shows whether they left anything behind.
sleep 20
readings_before=$(wc -l <"$work/watch.log")
event "gateway stop"
stop_gateway
sleep "$outage_seconds"
event "gateway start"
start_gateway
for _ in $(seq 180); do
    tail -n +"$readings_before" "$work/watch.log" | grep -q 'status="Looking for an UPnP gateway..."' &&
        tail -n 1 "$work/watch.log" | grep -q "status=\"$friendly_name\"" && break
    sleep 0.5
done
event "gateway back"
event "tray restart"
wine_in_lan "$helper" tray-restart 30 || fail "the tray icon did not come back"
event "tray icon back"
remaining=$((minutes * 60 - (SECONDS - start)))
[ "$remaining" -gt 0 ] && sleep "$remaining"
wait "$sampler_pid" || fail "the sampler failed: $(cat "$work/samples.err.log")"
event "soak end"

touch "$work/stop-traffic"
wait "$traffic_pid" || true
traffic_pid=
kill "$watch_pid" 2>/dev/null || true
wait "$watch_pid" 2>/dev/null || true
# Judged before Exit, so that a failing Exit does not hide the figures.
verdict=0
python3 "$here/check_soak.py" "$work/samples.log" "$work/watch.log" "$work/events.log" \
    "$friendly_name" "$(printf '%s\n' "${rx_rates[@]}" "${tx_rates[@]}" | sort -n | tail -n 1)" ||
    verdict=$?
exit_from_tray_menu
echo "kestrum.exe ended with status 0 after Exit"
[ "$verdict" = 0 ] || fail "the soak found growth, a spike or a missed recovery"
echo "soak: PASSED"
