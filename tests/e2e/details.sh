#!/usr/bin/env bash
# End-to-end test of the connection facts. The real gateway daemon (miniupnpd) is told the line's
# bit rates and a public external address; kestrum-probe --details must print them with the
# gateway's name, its connection state and the totals, --scale line must take the downstream
# capacity as the graph scale (in kbit/s with --bits), and kestrum.exe's details window under
# Wine must show the same. While kestrum.exe runs, --help and a setting out of range still get
# their message boxes. A second run without a public address (the WAN's own is private, so the
# daemon reports none; it refuses a private ext_ip) must show the address as unknown.
#
#   tests/e2e/details.sh BUILD_DIR [WINDOWS_BUILD_DIR]
#
# BUILD_DIR holds tools/kestrum-probe; with WINDOWS_BUILD_DIR the window is checked too. Needs
# root; the window's part needs Wine and Xvfb. The network is that of tools/sandbox/network.sh.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: details.sh BUILD_DIR [WINDOWS_BUILD_DIR]}
windows_build=${2:+$(cd "$2" && pwd)}
probe=$(cd "$build" && pwd)/tools/kestrum-probe
friendly_name="Kestrum Test Gateway"
down_bits=52000000
up_bits=10400000
public_address=45.67.89.10

# shellcheck source=common.sh
. "$here/common.sh"
# shellcheck source=details-window.sh
. "$here/details-window.sh"
[ -x "$probe" ] || fail "no probe at $probe"

# The daemon with the line's rates and, when given, an external address.
restart_gateway() { # [external_address]
    if [ -f "$work/miniupnpd.pid" ]; then
        kill -TERM "$(cat "$work/miniupnpd.pid")" 2>/dev/null || true
        for _ in $(seq 50); do
            in_ns "$lan" python3 -c 'import socket; socket.create_connection(("192.168.77.1", 5555), 1)' \
                2>/dev/null || break
            sleep 0.2
        done
    fi
    gateway_config="bitrate_down=$down_bits"$'\n'"bitrate_up=$up_bits${1:+$'\n'ext_ip=$1}"
    start_gateway
}

# The probe's details line, and the scale that --scale line gave in its last rate line.
check_probe() { # address(empty: unknown) [--bits]
    local log="$work/probe${2:-}.log" details scale expected_scale address=${1:+\"$1\"}
    in_ns "$lan" timeout 120 "$probe" --details --scale line --refresh 200 --updates 5 ${2:+"$2"} \
        >"$log" 2>&1 || fail "the probe ${2:-} failed: $(tail -n 3 "$log")"
    details=$(grep -m 1 ' details ' "$log") || fail "the probe printed no details"
    echo "probe ${2:-}: ${details#* }"
    for field in "name=\"$friendly_name\"" "down=$down_bits" "up=$up_bits" capacity=credible \
        'connection="Connected"' "address=${address:--}"; do
        [[ " $details " == *" $field "* ]] || fail "probe details: no $field"
    done
    [[ $details =~ \ uptime=[0-9]+\  ]] || fail "probe details: no uptime"
    [[ $details =~ \ rx_since_start=[0-9]+\ tx_since_start=[0-9]+$ ]] || fail "probe details: no totals"
    expected_scale=$((down_bits / 8000))
    [ -z "${2:-}" ] || expected_scale=$((down_bits / 1000))
    scale=$(grep ' rx=[0-9]' "$log" | tail -n 1 | sed -n 's/.* scale=\([0-9]*\)$/\1/p')
    [ "$scale" = "$expected_scale" ] || fail "--scale line ${2:-} gave the scale $scale, not $expected_scale"
    echo "probe ${2:-}: --scale line took $scale"
}

# Its lines come from Wine with a carriage return at the end.
reader() { # arguments...
    in_ns "$lan" timeout 120 wine "$reader" "$@" | tr -d '\r'
}

check_window() { # address(empty: unknown) [second_starts]
    ip netns exec "$lan" wine "$exe" --refresh 200 >"$work/kestrum.log" 2>&1 &
    local kestrum_pid=$! ms
    reader find 60 >/dev/null || fail "the window did not appear"
    check_window_details "$friendly_name" "$down_bits" "$up_bits" "$1"
    if [ -n "${2:-}" ]; then
        # Answered by this start itself, not handed over to the one running.
        command_line_box 0 "--scale N|line" --help
        command_line_box 2 "Please enter an integer between 1 and 1000000." --scale 0
    fi
    ms=$(reader exit 30) || fail "Exit did not close the window"
    echo "Exit from the tray menu: kestrum.exe ended $ms ms after the choice"
    await_program_end "$kestrum_pid" kestrum.exe "$lan" || fail "kestrum.exe did not end cleanly"
}

make_network
restart_gateway "$public_address"
check_probe "$public_address"
check_probe "$public_address" --bits
if [ -n "$windows_build" ]; then
    exe="$windows_build/shell/app/kestrum.exe"
    reader="$windows_build/tools/sandbox/kestrum-window-reader.exe"
    { [ -f "$exe" ] && [ -f "$reader" ]; } || fail "no kestrum.exe or window reader in $windows_build"
    start_display 1024x768 "$lan" || fail "no display"
    prepare_wine_prefix "$work/wineprefix" "$lan" 800x600 || fail "no Wine prefix"
    check_window "$public_address" second-starts
fi

restart_gateway
check_probe ""
[ -z "$windows_build" ] || check_window ""
echo "end to end (connection details): PASSED"
