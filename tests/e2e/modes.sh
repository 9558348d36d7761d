#!/usr/bin/env bash
# End-to-end test of the gateways the real daemon cannot play: kestrum-probe watches the
# scriptable fake gateway (tools/sandbox/fake-gateway.py) in network namespaces, one mode at a
# time, while traffic of known rate passes both ways through the gateway's WAN interface, and
# the rates it reports must match:
#
#   slow-400     every SOAP answer 400 ms late
#   slow-1500    every SOAP answer 1.5 s late
#   glitch       every ninth answer of each counter reads 0
#   two-wans     two WAN devices, the first standing still, the traffic on the second
#   chunked      every HTTP answer in the chunked transfer coding
#   tr064        the urn:dslforum-org: type names
#   refused      the counter actions answered with a fault: the hint shows, the gateway stays
#
#   tests/e2e/modes.sh BUILD_DIR [MODE...]
#
# BUILD_DIR holds tools/kestrum-probe. Needs root. Prints a table of figures per mode.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: modes.sh BUILD_DIR [MODE...]}
shift
probe=$(cd "$build" && pwd)/tools/kestrum-probe
friendly_name="Kestrum Fake Gateway"
refresh_ms=500
down_rate=125000 # payload bytes per second, 1 Mbit/s
# Not 50 000: the readouts show whole KB/s, which cuts 0.5 KB/s from a rate on average, 1 % of
# 50 KB/s and too close to the 2 % the median may differ.
up_rate=100000
# The traffic runs this long in each direction; the probe starts a second after it and stops two
# seconds before it ends, so every update it prints was taken while both directions ran.
send_seconds=24
# Longer than the 30 s after which a silent gateway is lost.
refused_seconds=45
port=5555

# shellcheck source=common.sh
. "$here/common.sh"
[ -x "$probe" ] || fail "no probe at $probe"

run_probe() { # seconds log
    in_ns "$lan" timeout --signal=TERM "$1" "$probe" --refresh "$refresh_ms" --scale 30 \
        >"$2" 2>"$2.err" || [ $? = 124 ]
}

measure_mode() { # mode fake-gateway-options...
    local mode=$1
    shift
    local log="$work/$mode.log" plan="$work/$mode.plan"
    : >"$plan"
    start_fake_gateway --port "$port" "$@" --log "$work/$mode.gateway.log"
    send_phase rx "$plan" "$down_rate" &
    local down=$!
    send_phase tx "$plan" "$up_rate" &
    local up=$!
    sleep 1
    run_probe $((send_seconds - 3)) "$log"
    wait "$down" "$up"
    stop_fake_gateway
    python3 "$here/check_modes.py" rates "$mode" "$log" "$plan" || failed="$failed $mode"
}

refused_mode() {
    local log="$work/refused.log"
    start_fake_gateway --port "$port" --wan "$gw_wan_if" --refuse --log "$work/refused.gateway.log"
    run_probe "$refused_seconds" "$log"
    stop_fake_gateway
    python3 "$here/check_modes.py" refused refused "$log" "$friendly_name" || failed="$failed refused"
}

run_mode() { # mode
    case $1 in
    slow-400) measure_mode "$1" --wan "$gw_wan_if" --delay 400 ;;
    slow-1500) measure_mode "$1" --wan "$gw_wan_if" --delay 1500 ;;
    glitch) measure_mode "$1" --wan "$gw_wan_if" --glitch-every 9 ;;
    two-wans) measure_mode "$1" --wan still --wan "$gw_wan_if" ;;
    chunked) measure_mode "$1" --wan "$gw_wan_if" --chunked ;;
    # Kestrum searches with the UPnP names; this gateway answers that search too, so that the
    # mode tests its description's names.
    tr064) measure_mode "$1" --wan "$gw_wan_if" --types dslforum --also-answer upnp ;;
    refused) refused_mode ;;
    *) fail "no mode $1" ;;
    esac
}

modes=("$@")
[ ${#modes[@]} -gt 0 ] || modes=(slow-400 slow-1500 glitch two-wans chunked tr064 refused)
make_network
failed=
echo "Rates in KB/s at a refresh of $refresh_ms ms; traffic $((down_rate / 1000)) KB/s down and" \
    "$((up_rate / 1000)) KB/s up in payload, true rates as the WAN interface counted them:"
python3 "$here/check_modes.py" header
for mode in "${modes[@]}"; do
    run_mode "$mode"
done
[ -z "$failed" ] || fail "modes out of bounds:$failed"
echo "gateway modes: PASSED"
