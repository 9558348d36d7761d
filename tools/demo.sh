#!/usr/bin/env bash
# Runs kestrum.exe under Wine against a demo gateway: the real gateway daemon (miniupnpd) with
# synthetic traffic both ways, inside network namespaces made here and removed at the end, so
# nothing reaches a real network. Installs what it needs (Debian) and builds kestrum.exe first.
#
#   sudo bash tools/demo.sh [SECONDS]      (default 60 s of traffic)
#
# A trickle of traffic flows from the start, so that the window has a rate to show as soon as it
# reads the counters; the demo says when the window first showed the gateway and a rate. Then, for
# each phase of 10 s, it prints per direction the rate on the wire as the gateway counts it
# (payload and headers), the readout's average over the phase and their difference.
# With DISPLAY set, the window shows on that display; choose Exit in its tray menu when done.
# Without one, it runs on a virtual display, saves pictures of the window and of the desktop with
# the tray icon's tooltip in build/demo/ (it fails when one comes out blank or the tooltip never
# shows), and exits from the tray menu.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
friendly_name="Kestrum Demo Gateway"
send_seconds=10
scale=1000
quiet_seconds=5
tolerance_percent=5
# Payload bytes per second each way until the window shows its first rate.
trickle_rate=20000
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
# No picture of an earlier run may pass for one of this run.
rm -rf "$pictures"
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

# Its lines come from Wine with a carriage return at the end.
reader() {
    in_ns "$lan" timeout 120 wine "$reader" "$@" | tr -d '\r'
}

# The last reading of the window's readouts, in watch.log's form, matches rx=RX tx=TX (regular
# expressions); waits at most the given seconds. Its lines end in a carriage return too.
await_readouts() { # seconds rx tx
    local tries
    for tries in $(seq $(($1 * 10))); do
        tail -n 1 "$work/watch.log" | grep -qE " rx=$2 tx=$3[^0-9]*\$" && return 0
        sleep 0.1
    done
    return 1
}

# The trickle: a sink and a sender each way, for at most a minute.
trickle=()
for pair in "$lan $wan 192.168.77.2" "$wan $lan 10.77.0.2"; do
    read -r sink_ns send_ns target <<<"$pair"
    ip netns exec "$sink_ns" python3 "$sandbox_dir/traffic.py" sink 9000 60 &
    trickle+=($!)
    ip netns exec "$send_ns" python3 "$sandbox_dir/traffic.py" send "$target" 9000 1000 \
        "$trickle_rate" 60 >/dev/null &
    trickle+=($!)
done

started=$(date +%s%3N)
ip netns exec "$lan" wine "$exe" >"$work/kestrum.log" 2>&1 &
kestrum_pid=$!
# What the window's readouts show, every 100 ms, for the whole demo.
ip netns exec "$lan" timeout $((seconds * 6 + 300)) wine "$reader" watch $((seconds * 6 + 240)) \
    >"$work/watch.log" 2>/dev/null &
reader find 60 >/dev/null || fail "the window did not appear"
echo "kestrum.exe runs; the demo gateway is \"$friendly_name\"."
# Rates of hundreds of KB/s, since the readouts count whole KB/s; a scale well above them, since a
# refresh that sees two polls' worth of bytes shows twice the rate, and the scale would cut it.
reader apply "$scale" 500

# The phases start once the window shows the gateway and a rate, and the trickle's rate has gone
# from the readouts again: what they measure is then the window at work, not its start.
for _ in $(seq 600); do
    first=$(grep -m 1 -E "status=\"$friendly_name\" rx=[1-9][0-9]* tx=[1-9]" "$work/watch.log" |
        cut -d' ' -f1) && break
    sleep 0.1
done
[ -n "$first" ] || fail "the window showed no gateway and rate within 60 s"
echo "The window showed the gateway and its first rate" \
    "$(awk -v ms=$((first - started)) 'BEGIN { printf "%.1f", ms / 1000 }') s after start."
kill "${trickle[@]}" 2>/dev/null || true
wait "${trickle[@]}" 2>/dev/null || true
await_readouts 30 0 0 || fail "the readouts did not come back to 0 after the trickle"

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

rectangles_apart() { # left top width height (twice)
    [ $(($1 + $3 <= $5 || $5 + $7 <= $1 || $2 + $4 <= $6 || $6 + $8 <= $2)) = 1 ]
}

# While the traffic flows, once the readouts follow it: the window, and the desktop with the
# tray icon's tooltip, with the window clear of the icon. Each must show what it names; a tooltip
# hides by itself after a while, so a picture that missed it is taken again.
take_pictures() {
    local window tooltip tries left top width height
    await_readouts 30 '[1-9][0-9]*' '[1-9][0-9]*' ||
        { echo "demo: the readouts showed no traffic" >&2 && return 1; }
    window=$(reader move-clear) || return 1
    read -r left top width height <<<"$window"
    in_ns "$lan" import -window root -crop "${width}x${height}+${left}+${top}" +repage \
        "$pictures/window.png"
    if ! picture_shows "$pictures/window.png" 0 0 "$width" "$height"; then
        echo "demo: the window's picture is blank" >&2
        return 1
    fi
    for tries in 1 2 3; do
        tooltip=$(reader hover-tray 10) || continue
        in_ns "$lan" import -window root -crop 800x600+0+0 +repage "$pictures/kestrum.png"
        # shellcheck disable=SC2086 # a rectangle is four words
        if picture_shows "$pictures/kestrum.png" $window &&
            picture_shows "$pictures/kestrum.png" $tooltip && rectangles_apart $window $tooltip; then
            printf 'window %s\ntooltip %s\n' "$window" "$tooltip" >"$pictures/kestrum.regions"
            return 0
        fi
    done
    echo "demo: no picture of the desktop shows the window and the tray icon's tooltip" >&2
    return 1
}

# Traffic both ways at the same time, in phases of varying payload rates (bytes per second).
rates=("200000 80000" "120000 240000" "270000 50000" "60000 150000" "150000 150000")
phases=$((seconds / send_seconds))
picture_phase=$((phases >= 2 ? 2 : 1))
picture_job=
for phase in $(seq "$phases"); do
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
    if $headless && [ "$phase" = "$picture_phase" ]; then
        take_pictures &
        picture_job=$!
    fi
    wait "${senders[@]}"
    received=$(($(wan_counter rx) - received_before))
    sent=$(($(wan_counter tx) - sent_before))
    wait "${sinks[@]}" || true
    if [ "$phase" = "$picture_phase" ] && [ -n "$picture_job" ]; then
        wait "$picture_job" || fail "the pictures do not show what they name (see above)"
    fi
    sleep "$quiet_seconds"
    echo "phase $phase: sending $down B/s down and $up B/s up (payload)"
    report received rx "$received" "$work/down.sent"
    report "    sent" tx "$sent" "$work/up.sent"
done
cp "$work/watch.log" "$pictures/readouts.log"
echo "what the readouts showed, every 100 ms: $pictures/readouts.log"
if [ -n "$picture_job" ]; then
    echo "pictures: $pictures/kestrum.png (the desktop with the tray tooltip), $pictures/window.png"
fi
echo "The demo traffic has ended."

if $headless; then
    exit_ms=$(reader exit 30) || fail "Exit from the tray menu did not end kestrum.exe"
    echo "kestrum.exe ended $exit_ms ms after Exit in its tray menu."
else
    echo "Choose Exit in Kestrum's tray menu to end the demo."
fi
wait "$kestrum_pid" || true
