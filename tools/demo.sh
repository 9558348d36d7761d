#!/usr/bin/env bash
# Runs kestrum.exe under Wine against a demo gateway: the real gateway daemon (miniupnpd) with
# synthetic traffic both ways, inside network namespaces made here and removed at the end, so
# nothing reaches a real network. Installs what it needs (Debian) and builds kestrum.exe first.
#
#   sudo bash tools/demo.sh [SECONDS]      (default 60 s of traffic)
#
# With DISPLAY set, the window shows on that display; choose Exit in its tray menu when done.
# Without one, it runs on a virtual display, saves pictures of the window and of the tray icon's
# tooltip in build/demo/, prints what the readouts show, and exits from the tray menu.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
friendly_name="Kestrum Demo Gateway"
send_seconds=10
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

# Traffic both ways at the same time, in phases of varying rates (bytes per second).
rates=("20000 8000" "12000 24000" "27000 5000" "6000 15000" "15000 15000")
end=$((SECONDS + seconds))
phase=0
pictures_taken=false
while [ "$SECONDS" -lt "$end" ]; do
    read -r down up <<<"${rates[$((phase % ${#rates[@]}))]}"
    phase=$((phase + 1))
    length=$((end - SECONDS < send_seconds ? end - SECONDS : send_seconds))
    [ "$length" -gt 0 ] || break
    traffic=()
    ip netns exec "$lan" python3 tools/sandbox/traffic.py sink 9000 $((length + 1)) &
    traffic+=($!)
    ip netns exec "$wan" python3 tools/sandbox/traffic.py sink 9000 $((length + 1)) &
    traffic+=($!)
    sleep 0.3
    ip netns exec "$wan" python3 tools/sandbox/traffic.py send 192.168.77.2 9000 1000 "$down" "$length" >/dev/null &
    traffic+=($!)
    ip netns exec "$lan" python3 tools/sandbox/traffic.py send 10.77.0.2 9000 1000 "$up" "$length" >/dev/null &
    traffic+=($!)
    sleep $((length / 2 + 1))
    printf 'sending %5d B/s down, %5d B/s up; the window shows: ' "$down" "$up"
    reader watch 1 | tail -n 1 | cut -d' ' -f2-
    if $headless && ! $pictures_taken && [ "$phase" -ge 2 ]; then
        mkdir -p "$pictures"
        read -r left top width height <<<"$rect"
        reader hover-tray 10 || true
        in_ns "$lan" import -window root -crop 800x600+0+0 +repage "$pictures/desktop-with-tooltip.png"
        in_ns "$lan" import -window root -crop "${width}x${height}+${left}+${top}" +repage \
            "$pictures/window.png"
        echo "pictures: $pictures/window.png, $pictures/desktop-with-tooltip.png"
        pictures_taken=true
    fi
    # The phase's senders and sinks end by themselves within its length.
    wait "${traffic[@]}" || true
done
echo "The demo traffic has ended."

if $headless; then
    reader exit 30 || fail "Exit from the tray menu did not close the window"
else
    echo "Choose Exit in Kestrum's tray menu to end the demo."
fi
wait "$kestrum_pid" || true
echo "kestrum.exe has ended."
