#!/usr/bin/env bash
# End-to-end discovery test: kestrum-probe finds the gateway on the networks where one multicast
# search on the system's route does not: a PC whose multicast route points at a dead-end adapter,
# a router that answers only unicast searches, one that only announces itself, one that answers
# in its own version, a TR-064 (dslforum) one, and a gateway the user names by address (found
# again on its new port after a restart) or by URL. Wrong --gateway values are refused with
# status 2 and a message, and a search that nobody answers shows the hint after 30 s.
#
#   tests/e2e/discovery.sh BUILD_DIR [WINDOWS_BUILD_DIR [ARTEFACT_DIR]]
#
# With WINDOWS_BUILD_DIR, kestrum-probe.exe finds the daemon behind two interfaces and the
# unicast-only router under Wine, and kestrum.exe shows the hint, takes a named gateway and refuses wrong values with a message
# box (on a virtual display; a picture of the hint goes to ARTEFACT_DIR). Every case runs, and
# the summary lists each. Needs root. The network is that of tools/sandbox/network.sh, with the
# real gateway daemon where it can play the case and the sandbox's fake gateway where it cannot.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: discovery.sh BUILD_DIR [WINDOWS_BUILD_DIR [ARTEFACT_DIR]]}
windows_build=${2:-}
artefacts=${3:-}
probe=$(cd "$build" && pwd)/tools/kestrum-probe
friendly_name="Kestrum Discovery Gateway"
looking="Looking for an UPnP gateway..."
hint="No answer: is UPnP on in the router?"
refresh_ms=200
# A case's gateway is found within this many seconds, or not at all: an attempt lasts 5 s.
find_seconds=30
send_seconds=0

# shellcheck source=common.sh
. "$here/common.sh"
[ -x "$probe" ] || fail "no probe at $probe"
if [ -n "$windows_build" ]; then
    windows_build=$(cd "$windows_build" && pwd)
    windows_probe=$windows_build/tools/kestrum-probe.exe
    exe=$windows_build/shell/app/kestrum.exe
    reader_exe=$windows_build/tools/sandbox/kestrum-window-reader.exe
    for file in "$windows_probe" "$exe" "$reader_exe"; do
        [ -f "$file" ] || fail "no $file"
    done
    for tool in wine wineserver Xvfb import; do
        command -v "$tool" >/dev/null || fail "$tool is not installed"
    done
fi

reader() { # arguments...
    in_ns "$lan" timeout 120 wine "$reader_exe" "$@"
}

# Whether a process still runs: a killed background job stays a zombie until bash reaps it.
still_runs() { # pid
    [ -e "/proc/$1" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# Each case starts from the same LAN: the default and multicast routes on the gateway's network,
# and no program or gateway left by the case before (the display stays). Wine's programs end
# through their server first, and the server is gone before the next case: a Wine program
# started while a killed server still lived would connect to it and end at once.
reset_network() {
    local ns pid killed=()
    if [ -n "$windows_build" ]; then
        in_ns "$lan" wineserver -k 2>/dev/null || true
        in_ns "$lan" timeout 10 wineserver -w 2>/dev/null || true
    fi
    for ns in "$gw" "$lan"; do
        for pid in $(ip netns pids "$ns"); do
            [ "$pid" = "${display_pid:-}" ] && continue
            kill -KILL "$pid" 2>/dev/null || true
            killed+=("$pid")
        done
    done
    for pid in "${killed[@]}"; do
        for _ in $(seq 50); do
            still_runs "$pid" || break
            sleep 0.2
        done
        if still_runs "$pid"; then
            fail "process $pid of the previous case still runs 10 s after its kill"
        fi
    done
    in_ns "$lan" ip route replace 239.0.0.0/8 dev "$lan_if"
    in_ns "$lan" ip route replace default via 192.168.77.1
}

declare -a results=()
failures=0

# A case runs in a subshell of its own, so that its failure ends only the case.
run_case() { # name function arguments...
    local name=$1
    shift
    echo
    echo "--- $name"
    reset_network
    if ("$@"); then
        results+=("PASS  $name")
    else
        results+=("FAIL  $name")
        failures=$((failures + 1))
    fi
}

# The probe in the LAN until it has shown two rates from the gateway; prints the time from its
# start to the first rate.
probe_finds() { # label seconds command...
    local label=$1 seconds=$2 status=0 first
    shift 2
    local log="$work/$label.log"
    in_ns "$lan" timeout "$seconds" "$@" --refresh "$refresh_ms" --updates 2 >"$log" 2>&1 ||
        status=$?
    if [ "$status" != 0 ] || ! grep -q "status=\"$friendly_name\" rx=[0-9]" "$log"; then
        tail -n 3 "$log"
        fail "$label: no rates from \"$friendly_name\" within $seconds s (status $status)"
    fi
    first=$(grep -m 1 " rx=[0-9]" "$log" | cut -d' ' -f1)
    echo "$label: found \"$friendly_name\"; the first rate $first ms after the start"
}

# Waits until a file has a line matching the pattern; false after the seconds.
await_line() { # file pattern seconds
    local tries
    for tries in $(seq $(($3 * 5))); do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.2
    done
    return 1
}

fake_gateway() { # port options...
    local port=$1
    shift
    start_fake_gateway --port "$port" --wan "$gw_wan_if" "$@"
}

case_bad_values() {
    local long value reason output status pid
    long="http://192.168.77.1/$(head -c 3000 /dev/zero | tr '\0' a)"
    while IFS='|' read -r value reason; do
        [ "$value" = LONG ] && value=$long
        status=0
        # Inside the LAN all the same: a value wrongly taken would start a search.
        output=$(in_ns "$lan" timeout 20 "$probe" --gateway "$value" 2>&1 >/dev/null) || status=$?
        [ "$status" = 2 ] || fail "kestrum-probe --gateway ${value:0:40} exited with status $status"
        [ "$(printf '%s\n' "$output" | wc -l)" = 1 ] && [[ $output == *"$reason"* ]] ||
            fail "kestrum-probe --gateway ${value:0:40} said: $output"
        echo "kestrum-probe --gateway ${value:0:40}: status 2, \"$output\""
        [ -n "$windows_build" ] || continue
        ip netns exec "$lan" wine "$exe" --gateway "$value" >"$work/bad-value-kestrum.log" 2>&1 &
        pid=$!
        output=$(reader message 60) || fail "kestrum.exe --gateway ${value:0:40} showed no message box"
        [[ $output == *"$reason"* ]] || fail "kestrum.exe --gateway ${value:0:40} said: $output"
        status=0
        wait "$pid" || status=$?
        [ "$status" = 2 ] || fail "kestrum.exe --gateway ${value:0:40} exited with status $status"
        echo "kestrum.exe --gateway ${value:0:40}: status 2, message box \"${output:0:100}...\""
    done <<'VALUES'
router|takes an IPv4 address
https://192.168.77.1:5000/rootDesc.xml|takes an IPv4 address
239.255.255.250|is not the address of a single device
LONG|longer than 2048 bytes
VALUES
}

case_hint() {
    local log="$work/hint.log" first shown watch_log="$work/hint-window.log"
    ip netns exec "$lan" timeout 60 "$probe" >"$log" 2>&1 &
    if [ -n "$windows_build" ]; then
        ip netns exec "$lan" wine "$exe" >"$work/hint-kestrum.log" 2>&1 &
        reader find 60 >/dev/null || fail "the window did not appear"
        ip netns exec "$lan" timeout 60 wine "$reader_exe" watch 45 >"$watch_log" 2>&1 &
    fi
    await_line "$log" "status=\"$hint\"" 55 || fail "the probe never showed the hint"
    first=$(head -n 1 "$log")
    [[ $first == *"status=\"$looking\""* ]] || fail "the probe began with: $first"
    shown=$(grep -m 1 "status=\"$hint\"" "$log" | cut -d' ' -f1)
    # Both the monitor's wait and the probe's time stamps count whole milliseconds, so a wait of
    # 30 000 of them may end up to 1 ms short of that when measured.
    [ "$shown" -ge 29999 ] || fail "the hint came after only $shown ms"
    echo "probe: \"$looking\", then the hint $shown ms after the start"
    [ -n "$windows_build" ] || return 0
    await_line "$watch_log" "status=\"$hint\"" 30 || fail "the window never showed the hint"
    echo "window: the status line shows \"$hint\""
    if [ -n "$artefacts" ]; then
        local left top width height
        read -r left top width height <<<"$(reader find 10)"
        in_ns "$lan" import -window root -crop "${width}x${height}+${left}+${top}" +repage \
            "$artefacts/hint-96dpi-window.png"
        echo "screenshot: $artefacts/hint-96dpi-window.png"
    fi
}

case_two_interfaces() {
    # The system's multicast route leads to the dead end, and there is no default route: only a
    # search out of every interface reaches the gateway.
    in_ns "$lan" ip route replace 239.0.0.0/8 dev "$dead_end_if"
    in_ns "$lan" ip route del default
    start_gateway
    probe_finds two-interfaces "$find_seconds" "$probe"
    [ -n "$windows_build" ] || return 0
    probe_finds two-interfaces-wine 90 wine "$windows_probe"
}

case_unicast_only() {
    fake_gateway 5000 --ssdp unicast
    probe_finds unicast-only "$find_seconds" "$probe"
    [ -n "$windows_build" ] || return 0
    # Under Wine the default gateway comes from the routing table as on Windows.
    probe_finds unicast-only-wine 90 wine "$windows_probe"
}

case_announce_only() {
    fake_gateway 5000 --ssdp notify --notify-after 2
    probe_finds announce-only "$find_seconds" "$probe"
}

case_own_version() {
    fake_gateway 5000 --version 2 --st own
    probe_finds own-version "$find_seconds" "$probe"
}

# Found, and its counters read under the DSL Forum's type names.
case_dslforum() {
    fake_gateway 5000 --types dslforum
    probe_finds dslforum "$find_seconds" "$probe"
}

case_named_address() {
    local log="$work/named-address.log" lines
    # Unicast-only, and no default route: only the named address finds it.
    in_ns "$lan" ip route del default
    fake_gateway 5000 --ssdp unicast
    ip netns exec "$lan" timeout 150 "$probe" --refresh "$refresh_ms" --gateway 192.168.77.1 \
        >"$log" 2>&1 &
    await_line "$log" "status=\"$friendly_name\" rx=[0-9]" "$find_seconds" ||
        fail "--gateway 192.168.77.1: no rates"
    echo "--gateway 192.168.77.1: rates from \"$friendly_name\" on port 5000"
    # The router restarts on another port; once it is given up, the address is asked again.
    stop_fake_gateway
    fake_gateway 5001 --ssdp unicast
    lines=$(wc -l <"$log")
    await_line "$log" "status=\"$looking\"" 60 || fail "the gateway was never given up"
    local tries
    for tries in $(seq 300); do
        tail -n +"$lines" "$log" | grep -q "status=\"$friendly_name\" rx=[0-9]" && break
        sleep 0.2
    done
    tail -n +"$lines" "$log" | grep -q "status=\"$friendly_name\" rx=[0-9]" ||
        fail "--gateway 192.168.77.1: not found again on port 5001"
    echo "--gateway 192.168.77.1: found again on port 5001 after the restart"
}

case_named_url() {
    local url=http://192.168.77.1:5002/rootDesc.xml watch_log="$work/named-url-window.log"
    fake_gateway 5002 --ssdp none
    probe_finds named-url "$find_seconds" "$probe" --gateway "$url"
    [ -n "$windows_build" ] || return 0
    ip netns exec "$lan" wine "$exe" --gateway "$url" >"$work/named-url-kestrum.log" 2>&1 &
    reader find 60 >/dev/null || fail "the window did not appear"
    ip netns exec "$lan" timeout 60 wine "$reader_exe" watch 40 >"$watch_log" 2>&1 &
    await_line "$watch_log" "status=\"$friendly_name\"" 40 ||
        fail "kestrum.exe --gateway $url: the window never showed \"$friendly_name\""
    echo "kestrum.exe --gateway $url: the window shows \"$friendly_name\""
}

make_network
add_dead_end_interface 10.99.0.1/24
if [ -n "$windows_build" ]; then
    [ -z "$artefacts" ] || { mkdir -p "$artefacts" && artefacts=$(cd "$artefacts" && pwd); }
    start_display 1024x768 "$lan" || fail "no display"
    prepare_wine_prefix "$work/wineprefix" "$lan" 800x600 || fail "no Wine prefix"
fi

run_case "wrong --gateway values: status 2 and a message" case_bad_values
run_case "nobody answers: the hint after 30 s" case_hint
run_case "two interfaces, multicast routed to the dead end: found (gateway daemon)" \
    case_two_interfaces
run_case "a router that answers only unicast searches: found" case_unicast_only
run_case "a router that only announces itself: found" case_announce_only
run_case "an answer with ST InternetGatewayDevice:2 to a search for :1: found" case_own_version
run_case "a dslforum-only (TR-064) gateway: found and read" case_dslforum
run_case "--gateway ADDRESS: found, and again after a restart on another port" case_named_address
run_case "--gateway URL: found" case_named_url

echo
echo "discovery cases:"
printf '  %s\n' "${results[@]}"
[ "$failures" = 0 ] || fail "$failures discovery case(s) failed"
echo "end to end (discovery): PASSED"
