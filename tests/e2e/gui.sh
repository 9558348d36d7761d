#!/usr/bin/env bash
# End-to-end GUI test: kestrum.exe under Wine and Xvfb inside the LAN namespace finds the real
# gateway daemon (miniupnpd); while traffic of known size passes the gateway's WAN interface, a
# small Windows program in the same Wine session reads the window's status line and readouts
# through their window texts. The status must show the gateway's friendly name and the readouts
# the wire rate within 5%. Exit from the tray menu, and the end of the session as the restart
# manager ends it, must each leave no process behind; after Exit the process must be gone within
# 2 s, on a virtual desktop and on the display's own. Screenshots at 96 and 144 DPI are kept.
# A setting out of range on the command line gets the Apply button's message and exit status 2,
# --help the options and status 0; a valid one starts the window with it.
#
#   tests/e2e/gui.sh WINDOWS_BUILD_DIR ARTEFACT_DIR
#
# Needs root, Wine, Xvfb and ImageMagick. The network is that of tools/sandbox/network.sh; the
# display and a fresh Wine prefix (tools/sandbox/desktop.sh) are started inside the LAN namespace,
# so the program's sockets live there.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
windows_build=$(cd "${1:?usage: gui.sh WINDOWS_BUILD_DIR ARTEFACT_DIR}" && pwd)
artefacts=${2:?usage: gui.sh WINDOWS_BUILD_DIR ARTEFACT_DIR}
friendly_name="Kestrum Test Gateway"
tolerance_percent=5
send_seconds=10
exit_limit_ms=2000
exe="$windows_build/shell/app/kestrum.exe"
reader="$windows_build/tools/sandbox/kestrum-window-reader.exe"

# shellcheck source=common.sh
. "$here/common.sh"
# shellcheck source=details-window.sh
. "$here/details-window.sh"
for tool in wine wineserver Xvfb import; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[ -f "$exe" ] || fail "no program at $exe"
[ -f "$reader" ] || fail "no window reader at $reader"
mkdir -p "$artefacts"
artefacts=$(cd "$artefacts" && pwd)

set_dpi() { # dots per inch
    in_ns "$lan" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        >/dev/null 2>&1
    in_ns "$lan" wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$1" /f \
        >/dev/null 2>&1
    # Settings are read when the session starts.
    in_ns "$lan" wineserver -k 2>/dev/null || true
    in_ns "$lan" timeout 60 wineserver -w 2>/dev/null || true
}

# Its lines come from Wine with a carriage return at the end.
reader() { # arguments...
    in_ns "$lan" timeout 120 wine "$reader" "$@" | tr -d '\r'
}

start_kestrum() { # arguments...
    started_at=$(date +%s%3N)
    ip netns exec "$lan" wine "$exe" "$@" >"$work/kestrum.log" 2>&1 &
    kestrum_pid=$!
    reader find 60 >/dev/null || fail "the window did not appear, or its link covers Apply"
}

# Waits until the status line shows the gateway's friendly name, at most 60 s, and says when it
# came (Wine's start included; the first rate follows one refresh period later).
wait_for_gateway() {
    local tries shown
    for tries in $(seq 60); do
        reader watch 1 >"$work/status.log" 2>/dev/null || true
        shown=$(grep -m 1 "status=\"$friendly_name\"" "$work/status.log" | cut -d' ' -f1)
        if [ -n "$shown" ]; then
            echo "window: the gateway's name $((shown - started_at)) ms after the start"
            return 0
        fi
    done
    fail "the status line never showed \"$friendly_name\""
}

# The window, and the desktop with the tray icon's tooltip; the window clear of the icon first.
screenshot() { # name
    local left top width height
    read -r left top width height <<<"$(reader move-clear)"
    reader hover-tray 10 >/dev/null || echo "(no tray tooltip in $1-desktop.png)"
    in_ns "$lan" import -window root -crop 800x600+0+0 +repage "$artefacts/$1-desktop.png"
    in_ns "$lan" import -window root -crop "${width}x${height}+${left}+${top}" +repage \
        "$artefacts/$1-window.png"
    echo "screenshot: $artefacts/$1-window.png ($width x $height), $artefacts/$1-desktop.png"
}

# Ends the program the given way (the reader's exit: the tray menu; end-session: as the restart
# manager does); it must end by itself with status 0 and leave no process.
end_program() { # reader_command description
    reader "$1" 30 || fail "$2 did not close the window"
    await_program_end "$kestrum_pid" kestrum.exe "$lan" || fail "$2 did not end kestrum.exe cleanly"
    echo "$2: the window closed and kestrum.exe ended with status 0"
}

# Exit from the tray menu, as a user meets it: the process is gone soon after the choice. Under
# Xvfb no window manager answers Wine, which then waits 2 s on every hide of a managed window; the
# sandbox's prefixes declare their windows unmanaged, so only the program's own work counts.
exit_promptly() { # description
    local ms
    ms=$(reader exit 30) || fail "$1: Exit from the tray menu did not end kestrum.exe"
    await_program_end "$kestrum_pid" kestrum.exe "$lan" || fail "$1: kestrum.exe did not end cleanly"
    [ "$ms" -le "$exit_limit_ms" ] ||
        fail "$1: kestrum.exe ended $ms ms after Exit, more than $exit_limit_ms ms"
    echo "Exit from the tray menu ($1): kestrum.exe ended with status 0, $ms ms after the choice"
}

# When the phase's traffic ran, for the window check. On a busy machine the sender may start
# seconds late, so the span is its own duration, ending where send_phase's closing pause of a
# second began; the check's margins absorb the rest.
record_phase() { # direction phase_plan
    local end seconds
    end=$(($(date +%s%3N) - 1000))
    seconds=$(cut -d' ' -f5 "$2")
    echo "$1 $(python3 -c "print(round($end - $seconds * 1000))") $end $(cut -d' ' -f2- "$2")" \
        >>"$plan"
}

make_network
start_gateway
start_display 1024x768 "$lan" || fail "no display"
# Every program runs on one virtual desktop, which draws the window frames and the tray.
prepare_wine_prefix "$work/wineprefix" "$lan" 800x600 || fail "no Wine prefix"

set_dpi 96
command_line_box 2 "Please enter an integer between 1 and 1000000." --scale 0
command_line_box 2 "Please enter an integer between 100 and 10000." --scale 40 --refresh 50
command_line_box 0 "--scale N|line" --help

# 96 DPI: measure, keep a picture, exit from the tray menu.
start_kestrum --scale 1000 --refresh 200
[ "$(reader settings)" = "1000 200" ] || fail "the window did not start with --scale 1000 --refresh 200"
wait_for_gateway
# The scale stays at the default 30 KB/s, far below the test's rates: the readouts must show
# them in full all the same. A shorter refresh period gives more readings.
reader apply 30 200
ip netns exec "$lan" timeout 150 wine "$reader" watch 120 >"$work/watch.log" 2>"$work/watch.err.log" &
watch_pid=$!
sleep 2
plan="$work/window.plan"
: >"$plan"
send_phase rx "$work/rx.plan" 1000000
record_phase rx "$work/rx.plan"
# The picture while the sent traffic flows: both graphs and the sent readout have something.
(sleep $((send_seconds / 2 + 1)) && screenshot kestrum-96dpi) &
screenshot_pid=$!
send_phase tx "$work/tx.plan" 500000
record_phase tx "$work/tx.plan"
wait "$screenshot_pid" || fail "no screenshot at 96 DPI"
kill "$watch_pid" 2>/dev/null || true
wait "$watch_pid" 2>/dev/null || true
echo "window readouts at 96 DPI:"
python3 "$here/check_window_rates.py" "$work/watch.log" "$plan" "$friendly_name" \
    "$tolerance_percent" || fail "the window's readouts do not match the traffic"
exit_promptly "virtual desktop"

# 144 DPI: the same window, larger; a picture, then the end of the session.
set_dpi 144
start_kestrum
wait_for_gateway
sleep 2
screenshot kestrum-144dpi
end_program end-session "The end of the session"

# The display's own desktop: each window is a window of the display, and the notification area
# Wine's own tray window.
set_dpi 96
prepare_wine_prefix "$work/wineprefix" "$lan" || fail "no Wine prefix without a virtual desktop"
start_kestrum
exit_promptly "the display's own desktop"
echo "end to end (window): PASSED"
