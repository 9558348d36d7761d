#!/usr/bin/env bash
# Runs kestrum.exe under Wine against a demo gateway: the real gateway daemon (miniupnpd) with
# synthetic traffic both ways, inside network namespaces made here and removed at the end, so
# nothing reaches a real network. Installs what it needs (Debian) and builds kestrum.exe first.
#
#   sudo bash tools/demo.sh [SECONDS]      (default 60 s of traffic)
#
# For each phase of 10 s it prints, per direction, the rate on the wire as the gateway counts it
# (payload and headers), the readout's average over the phase and their difference.
# With DISPLAY set, the window shows on that display; choose Exit in its tray menu when done.
# Without one, it runs on a virtual display, saves pictures of the window and of the desktop with
# the tray icon's tooltip in build/demo/, and exits from the tray menu.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
friendly_name="Kestrum Demo Gateway"
send_seconds=10
scale=1000
quiet_seconds=5
tolerance_percent=5
export DEBIAN_FRONTEND=noninteractive

fail() {
    echo "demo: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || fail "run it as root (network namespaces, packages): sudo bash $0"
[[ $seconds =~ ^[0-9]+$ ]] && [ "$seconds" -ge 10 ] && [ "$seconds" -le 3600 ] ||
    fail "SECONDS must be a number from 10 to 3600"

packages="cmake make googletest g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    binutils-mingw-w64-x86-64 wine wine64 xvfb xauth imagemagick fonts-wine fonts-liberation
    fonts-wqy-microhei iproute2 python3 miniupnpd-nftables"
# shellcheck disable=SC2086 # one package a word
if ! dpkg -s $packages >/dev/null 2>&1; then
    echo "Installing packages..."
    apt-get update -qq && apt-get install -y -qq --no-install-recommends $packages >/dev/null
fi

echo "Building kestrum.exe..."
cmake --preset windows >/dev/null
cmake --build build/windows --target kestrum kestrum-window-reader -j2 >/dev/null
exe="$root/build/windows/shell/app/kestrum.exe"
reader="$root/build/windows/tools/sandbox/kestrum-window-reader.exe"
pictures="$root/build/demo"
mkdir -p "$pictures"

# shellcheck source=sandbox/network.sh
. "$root/tools/sandbox/network.sh"
# shellcheck source=sandbox/desktop.sh
. "$root/tools/sandbox/desktop.sh"
make_network
start_gateway

headless=false
if [ -z "${DISPLAY:-}" ]; then
    headless=true
    start_display 1024x768 "$lan" || fail "no display"
fi

# A prefix of its own, whose wineserver starts inside the LAN namespace, where the sockets are.
# Headless, a virtual desktop draws the window frame and a taskbar with the tray icon; on a real
# display the window and the tray icon go to the desktop there.
echo "Starting Wine (the first start takes a while)..."
desktop=
if $headless; then
    desktop=800x600
fi
prepare_wine_prefix "$root/build/demo-wineprefix" "$lan" "$desktop" || fail "no Wine prefix"

reader() {
    in_ns "$lan" timeout 120 wine "$reader" "$@"
}

ip netns exec "$lan" wine "$exe" >"$work/kestrum.log" 2>&1 &
kestrum_pid=$!
rect=$(reader find 60) || fail "the window did not appear"
echo "kestrum.exe runs; the demo gateway is \"$friendly_name\"."
# Rates of hundreds of KB/s, since the readouts count whole KB/s; a scale well above them, since a
# refresh that sees two polls' worth of bytes shows twice the rate, and the scale would cut it.
reader apply "$scale" 500
# What the window's readouts show, every 100 ms, for the whole demo.
ip netns exec "$lan" timeout $((seconds * 6 + 120)) wine "$reader" watch $((seconds * 6 + 60)) \
    >"$work/watch.log" 2>/dev/null &
for _ in $(seq 600); do
    [ -s "$work/watch.log" ] && break
    sleep 0.1
done

# The readout (rx or tx) averaged over a phase of traffic: what it showed from the start of the
# sending until a quiet while after its end, each reading weighted by how long it stood, over the
# sending's length. So the readouts' lag behind the traffic (a refresh period and a poll, more on
# a busy machine) shifts what they show but loses none of it.
average_readout() { # rx|tx from_ms to_ms sending_seconds
    awk -v field="$1=" -v from="$2" -v to="$3" -v seconds="$4" '
        $1 >= from && $1 <= to && index($NF, "tx=") == 1 {
            if (count++ > 0) {
                sum += last * ($1 - since)
            }
            last = substr(field == "rx=" ? $(NF - 1) : $NF, 4)
            since = $1
        }
        END { printf "%.1f", sum / (seconds * 1000) }' "$work/watch.log"
}

# One direction of traffic in the background, for send_seconds from when the sender is up; its
# record gets "datagrams seconds" from the sender, then the time it ended (Unix milliseconds).
send_traffic() { # namespace target rate record
    {
        ip netns exec "$1" python3 "$sandbox_dir/traffic.py" send "$2" 9000 1000 "$3" \
            "$send_seconds" >"$4"
        date +%s%3N >>"$4"
    } &
}

# One direction of a phase: the rate on the wire, as the gateway counts it (payload and headers),
# beside the readout's average over the phase, and their difference.
report() { # name rx|tx counted_bytes record
    local sent_seconds ended began wire shown
    sent_seconds=$(head -n 1 "$4" | cut -d' ' -f2)
    ended=$(tail -n 1 "$4")
    # %.0f, not %d: mawk's %d stops at 2^31, and these are Unix milliseconds.
    began=$(awk -v end="$ended" -v s="$sent_seconds" 'BEGIN { printf "%.0f", end - s * 1000 }')
    wire=$(awk -v bytes="$3" -v s="$sent_seconds" 'BEGIN { printf "%.1f", bytes / s / 1000 }')
    shown=$(average_readout "$2" "$began" $((ended + quiet_seconds * 1000)) "$sent_seconds")
    awk -v name="$1" -v wire="$wire" -v shown="$shown" -v limit="$tolerance_percent" 'BEGIN {
        difference = 100 * (shown - wire) / wire
        beyond = difference > limit || -difference > limit ? " (beyond " limit "%)" : ""
        printf "  %s: wire %6.1f KB/s, readout %6.1f on average, difference %+5.1f%%%s\n",
            name, wire, shown, difference, beyond
    }'
}

# While the traffic flows, once the readouts follow it: the window, and the desktop with the
# tray icon's tooltip.
take_pictures() {
    local left top width height
    read -r left top width height <<<"$rect"
    local tries
    for tries in $(seq 300); do
        tail -n 1 "$work/watch.log" | grep -qE ' rx=[1-9][0-9]* tx=[1-9]' && break
        sleep 0.1
    done
    reader hover-tray 10 || true
    in_ns "$lan" import -window root -crop 800x600+0+0 +repage "$pictures/kestrum.png"
    in_ns "$lan" import -window root -crop "${width}x${height}+${left}+${top}" +repage \
        "$pictures/window.png"
}

# Traffic both ways at the same time, in phases of varying payload rates (bytes per second).
rates=("200000 80000" "120000 240000" "270000 50000" "60000 150000" "150000 150000")
pictures_taken=false
for phase in $(seq "$((seconds / send_seconds))"); do
    read -r down up <<<"${rates[$(((phase - 1) % ${#rates[@]}))]}"
    sinks=()
    ip netns exec "$lan" python3 "$sandbox_dir/traffic.py" sink 9000 $((send_seconds + 2)) &
    sinks+=($!)
    ip netns exec "$wan" python3 "$sandbox_dir/traffic.py" sink 9000 $((send_seconds + 2)) &
    sinks+=($!)
    sleep 0.3
    received_before=$(wan_counter rx)
    sent_before=$(wan_counter tx)
    send_traffic "$wan" 192.168.77.2 "$down" "$work/down.sent"
    senders=($!)
    send_traffic "$lan" 10.77.0.2 "$up" "$work/up.sent"
    senders+=($!)
    if $headless && ! $pictures_taken && [ "$phase" -ge 2 ]; then
        take_pictures &
        senders+=($!)
        pictures_taken=true
    fi
    wait "${senders[@]}"
    received=$(($(wan_counter rx) - received_before))
    sent=$(($(wan_counter tx) - sent_before))
    wait "${sinks[@]}" || true
    sleep "$quiet_seconds"
    echo "phase $phase: sending $down B/s down and $up B/s up (payload)"
    report received rx "$received" "$work/down.sent"
    report "    sent" tx "$sent" "$work/up.sent"
done
cp "$work/watch.log" "$pictures/readouts.log"
echo "what the readouts showed, every 100 ms: $pictures/readouts.log"
if $pictures_taken; then
    echo "pictures: $pictures/kestrum.png (the desktop with the tray tooltip), $pictures/window.png"
fi
echo "The demo traffic has ended."

if $headless; then
    reader exit 30 || fail "Exit from the tray menu did not close the window"
else
    echo "Choose Exit in Kestrum's tray menu to end the demo."
fi
wait "$kestrum_pid" || true
echo "kestrum.exe has ended."
