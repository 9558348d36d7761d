#!/usr/bin/env bash
# End-to-end test: kestrum-probe watches a real gateway daemon (miniupnpd) while traffic of known
# size passes through the gateway's WAN interface; the rates it reports must match.
#
#   tests/e2e/run.sh BUILD_DIR [WINDOWS_BUILD_DIR]
#
# BUILD_DIR holds tools/kestrum-probe. With WINDOWS_BUILD_DIR, tools/kestrum-probe.exe is measured
# the same way under Wine. Needs root. Everything runs inside three network namespaces made
# here and removed on exit, so no datagram (multicast included) reaches a real network:
#
#   LAN 192.168.77.2 --veth-- 192.168.77.1 GATEWAY 10.77.0.1 --veth-- 10.77.0.2 WAN
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
scale=100000

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || fail "needs root for network namespaces"
for tool in ip python3 miniupnpd; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || fail "$tool is not installed"
done
[ -x "$probe" ] || fail "no probe at $probe"

id=$$
lan=kestrum-e2e-lan-$id
gw=kestrum-e2e-gw-$id
wan=kestrum-e2e-wan-$id
lan_if=kl$id    # in LAN
gw_lan_if=kg$id # in GATEWAY, facing LAN
gw_wan_if=kw$id # in GATEWAY, the WAN interface whose counters the daemon reports
wan_if=kx$id    # in WAN
work=$(mktemp -d /tmp/kestrum-e2e.XXXXXX)

# For foreground commands. Background ones use ip netns exec directly, which replaces itself with
# the command, so that $! is the process itself and signals reach it.
in_ns() { # namespace command...
    local ns=$1
    shift
    ip netns exec "$ns" "$@"
}

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    for ns in "$lan" "$gw" "$wan"; do
        if ip netns list | grep -qw "$ns"; then
            # Only our own processes live in our namespaces.
            for pid in $(ip netns pids "$ns"); do
                kill -KILL "$pid" 2>/dev/null || true
            done
            ip netns delete "$ns" 2>/dev/null || true
        fi
    done
    if [ "$status" -ne 0 ]; then
        for log in "$work"/*.log; do
            [ -f "$log" ] && { echo "--- $log"; tail -n 40 "$log"; }
        done
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

make_network() {
    local ns
    for ns in "$lan" "$gw" "$wan"; do
        ip netns add "$ns"
        in_ns "$ns" ip link set lo up
        # No IPv6 chatter on the links: the WAN counters should carry only the test's traffic.
        in_ns "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
            net.ipv6.conf.default.disable_ipv6=1 2>/dev/null || true
    done
    ip link add "$lan_if" netns "$lan" type veth peer name "$gw_lan_if" netns "$gw"
    ip link add "$gw_wan_if" netns "$gw" type veth peer name "$wan_if" netns "$wan"

    in_ns "$lan" ip addr add 192.168.77.2/24 dev "$lan_if"
    in_ns "$lan" ip link set "$lan_if" up
    in_ns "$lan" ip route add default via 192.168.77.1
    in_ns "$lan" ip route add 239.0.0.0/8 dev "$lan_if"

    in_ns "$gw" ip addr add 192.168.77.1/24 dev "$gw_lan_if"
    in_ns "$gw" ip addr add 10.77.0.1/24 dev "$gw_wan_if"
    in_ns "$gw" ip link set "$gw_lan_if" up
    in_ns "$gw" ip link set "$gw_wan_if" up
    in_ns "$gw" ip route add 239.0.0.0/8 dev "$gw_lan_if"
    in_ns "$gw" sysctl -qw net.ipv4.ip_forward=1

    in_ns "$wan" ip addr add 10.77.0.2/24 dev "$wan_if"
    in_ns "$wan" ip link set "$wan_if" up
    in_ns "$wan" ip route add default via 10.77.0.1
}

start_gateway() {
    cat >"$work/miniupnpd.conf" <<CONF
ext_ifname=$gw_wan_if
listening_ip=$gw_lan_if
http_port=5555
enable_upnp=yes
enable_natpmp=no
secure_mode=yes
uuid=3a7c1f0e-6b2d-4e55-9c1a-0d7e5b8a4f21
friendly_name=$friendly_name
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
CONF
    ip netns exec "$gw" miniupnpd -f "$work/miniupnpd.conf" -d -P "$work/miniupnpd.pid" \
        >"$work/miniupnpd.log" 2>&1 &
    local tries
    for tries in $(seq 50); do
        if in_ns "$lan" python3 -c 'import socket; socket.create_connection(("192.168.77.1", 5555), 1)' 2>/dev/null; then
            return 0
        fi
        sleep 0.2
    done
    fail "the gateway daemon did not start listening"
}

wan_counter() { # rx|tx
    in_ns "$gw" cat "/sys/class/net/$gw_wan_if/statistics/$1_bytes"
}

# Waits until the probe log shows rates from the gateway, at most 60 s.
wait_for_rates() { # log
    local tries
    for tries in $(seq 300); do
        grep -q "status=\"$friendly_name\" rx=[0-9]" "$1" 2>/dev/null && return 0
        sleep 0.2
    done
    fail "the probe reported no rates from \"$friendly_name\""
}

# One direction: traffic of known size through the WAN interface while the probe runs.
# Appends "direction counter_before counter_after datagrams seconds" to the plan.
send_phase() { # direction(rx|tx) plan rate_bytes_per_second
    local direction=$1 plan=$2 rate=$3 sink_ns send_ns target before after result
    if [ "$direction" = rx ]; then
        sink_ns=$lan send_ns=$wan target=192.168.77.2
    else
        sink_ns=$wan send_ns=$lan target=10.77.0.2
    fi
    ip netns exec "$sink_ns" python3 "$here/traffic.py" sink 9000 $((send_seconds + 5)) &
    local sink=$!
    sleep 0.5
    before=$(wan_counter "$direction")
    result=$(in_ns "$send_ns" python3 "$here/traffic.py" send "$target" 9000 1000 "$rate" "$send_seconds")
    after=$(wan_counter "$direction")
    kill "$sink" 2>/dev/null || true
    wait "$sink" 2>/dev/null || true
    echo "$direction $before $after $result" >>"$plan"
    # The probe's last intervals of this phase end after the traffic.
    sleep 1
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
    send_phase rx "$plan" 1000000
    send_phase tx "$plan" 500000
    echo "$name probe:"
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
