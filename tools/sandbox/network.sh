# Shared set-up of the end-to-end tests and the demo, sourced by them: three network namespaces
# with the real gateway daemon (miniupnpd) between them, and traffic of known size through its
# WAN interface. Everything lives inside the namespaces made here and removed on exit, so no
# datagram (multicast included) reaches a real network:
#
#   LAN 192.168.77.2 --veth-- 192.168.77.1 GATEWAY 10.77.0.1 --veth-- 10.77.0.2 WAN
#
# The sourcing script sets friendly_name and send_seconds, and defines fail().

sandbox_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

require_network_tools() {
    [ "$(id -u)" = 0 ] || fail "needs root for network namespaces"
    local tool
    for tool in ip python3 miniupnpd; do
        command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || fail "$tool is not installed"
    done
}

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

# Kills what runs in our namespaces (only our own processes live there) and removes them.
remove_network() {
    local ns pid
    for ns in "$lan" "$gw" "$wan" ${dead_end:+"$dead_end"}; do
        if ip netns list | grep -qw "$ns"; then
            for pid in $(ip netns pids "$ns"); do
                kill -KILL "$pid" 2>/dev/null || true
            done
            ip netns delete "$ns" 2>/dev/null || true
        fi
    done
}

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    # The background jobs die with the namespaces; forgotten first, bash does not report each
    # as "Killed".
    disown -a
    remove_network
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

# A second LAN interface whose far end sits alone in a namespace of its own: the virtual adapter
# of a PC (VPN, virtual machine switch) that leads nowhere. No dummy devices in this kernel.
add_dead_end_interface() { # address/prefix
    dead_end=kestrum-e2e-dead-$id
    dead_end_if=kd$id
    ip netns add "$dead_end"
    ip link add "$dead_end_if" netns "$lan" type veth peer name "ke$id" netns "$dead_end"
    in_ns "$dead_end" ip link set "ke$id" up
    in_ns "$lan" ip addr add "$1" dev "$dead_end_if"
    in_ns "$lan" ip link set "$dead_end_if" up
}

# gateway_config, when set, holds further lines of the daemon's configuration (the line's bit
# rates, its external address).
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
${gateway_config:-}
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

# A scriptable gateway of our own (fake-gateway.py) in place of the daemon, for the gateways the
# daemon cannot play. The caller passes --port and --wan (the WAN interface is $gw_wan_if) and
# any other options; the pid is in fake_gateway_pid.
start_fake_gateway() { # options...
    local output="$work/fake-gateway.$((++fake_gateway_starts)).log" tries
    ip netns exec "$gw" python3 "$sandbox_dir/fake-gateway.py" --address 192.168.77.1 \
        --name "$friendly_name" "$@" >"$output" 2>&1 &
    fake_gateway_pid=$!
    for tries in $(seq 50); do
        grep -q '^listening on ' "$output" && return 0
        kill -0 "$fake_gateway_pid" 2>/dev/null || break
        sleep 0.2
    done
    cat "$output" >&2
    fail "the fake gateway did not start listening"
}
fake_gateway_starts=0

stop_fake_gateway() {
    [ -n "${fake_gateway_pid:-}" ] || return 0
    kill -TERM "$fake_gateway_pid" 2>/dev/null || true
    wait "$fake_gateway_pid" 2>/dev/null || true
    fake_gateway_pid=
}

wan_counter() { # rx|tx
    in_ns "$gw" cat "/sys/class/net/$gw_wan_if/statistics/$1_bytes"
}

# One direction: traffic of known size through the WAN interface.
# Appends "direction counter_before counter_after datagrams seconds" to the plan.
send_phase() { # direction(rx|tx) plan rate_bytes_per_second
    local direction=$1 plan=$2 rate=$3 sink_ns send_ns target before after result
    if [ "$direction" = rx ]; then
        sink_ns=$lan send_ns=$wan target=192.168.77.2
    else
        sink_ns=$wan send_ns=$lan target=10.77.0.2
    fi
    ip netns exec "$sink_ns" python3 "$sandbox_dir/traffic.py" sink 9000 $((send_seconds + 5)) &
    local sink=$!
    sleep 0.5
    before=$(wan_counter "$direction")
    result=$(in_ns "$send_ns" python3 "$sandbox_dir/traffic.py" send "$target" 9000 1000 "$rate" "$send_seconds")
    after=$(wan_counter "$direction")
    kill "$sink" 2>/dev/null || true
    wait "$sink" 2>/dev/null || true
    echo "$direction $before $after $result" >>"$plan"
    # The last refresh intervals of this phase end after the traffic.
    sleep 1
}
