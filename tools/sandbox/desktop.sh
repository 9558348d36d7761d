# Shared by CI, the end-to-end tests and the demo, sourced by them: a virtual display (Xvfb) and a
# Wine prefix that looks like Windows. Both can start inside a network namespace: X's abstract
# socket and the wineserver's sockets belong to the namespace they start in. Each function says
# what went wrong on stderr and returns non-zero.

# Wine's own fonts (Debian's fonts-wine): Tahoma, the dialog font, and Marlett, which draws the
# caption buttons. This Wine does not load them from its data directory, so each prefix links them.
wine_font_dir=/usr/share/wine/fonts

# Runs a command, inside the namespace when one is given. A background command started through
# this array is the process itself ($! is its pid), since ip netns exec replaces itself.
namespace_prefix() { # [namespace]
    namespace_command=()
    [ -z "${1:-}" ] || namespace_command=(ip netns exec "$1")
}

# Starts Xvfb on a free display number and exports DISPLAY; its pid is in display_pid.
start_display() { # WIDTHxHEIGHT [namespace]
    local size=$1 number tries
    namespace_prefix "${2:-}"
    number=$(mktemp /tmp/kestrum-display.XXXXXX)
    "${namespace_command[@]}" Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp \
        3>"$number" 2>/dev/null &
    display_pid=$!
    for tries in $(seq 100); do
        if [ -s "$number" ]; then
            export DISPLAY=":$(head -n 1 "$number")"
            rm -f "$number"
            return 0
        fi
        kill -0 "$display_pid" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$number"
    echo "Xvfb did not start" >&2
    return 1
}

# Boots the Wine prefix (the first boot takes a while) and exports WINEPREFIX. Fonts: Arial maps
# to its metric twin Liberation Sans; MS Shell Dlg already maps to Tahoma; CJK text the chosen
# face lacks falls back to WenQuanYi Micro Hei, as Windows falls back to its own CJK fonts.
# With a DESKTOP size every program runs on one virtual desktop, which draws the window frames
# and the notification area; without one, windows go to the display's own desktop.
prepare_wine_prefix() { # PREFIX [namespace] [DESKTOP]
    export WINEPREFIX=$1 WINEDEBUG=-all
    local desktop=${3:-} font face registry
    namespace_prefix "${2:-}"
    if ! "${namespace_command[@]}" timeout 300 wineboot -i >/dev/null 2>&1; then
        echo "wineboot failed" >&2
        return 1
    fi
    for font in "$wine_font_dir"/*.ttf; do
        if [ ! -e "$font" ]; then
            echo "Wine's fonts are not installed (Debian: fonts-wine)" >&2
            return 1
        fi
        ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
    done
    registry=$(mktemp /tmp/kestrum-prefix.XXXXXX.reg) || return 1
    {
        echo REGEDIT4
        echo '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
        echo '"Arial"="Liberation Sans"'
        echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
        for face in Tahoma Arial "Liberation Sans" "MS Shell Dlg" "MS Shell Dlg 2"; do
            echo "\"$face\"=hex(7):$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei\0\0' |
                od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')"
        done
        echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
        echo '"Managed"="N"'
        echo '[HKEY_CURRENT_USER\Software\Wine\Explorer]'
        if [ -n "$desktop" ]; then
            echo '"Desktop"="Default"'
            echo '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]'
            echo "\"Default\"=\"$desktop\""
        else
            echo '"Desktop"=-'
        fi
    } >"$registry"
    if ! "${namespace_command[@]}" wine regedit /S "$registry" >/dev/null 2>&1; then
        rm -f "$registry"
        echo "the Wine prefix's settings were not taken" >&2
        return 1
    fi
    rm -f "$registry"
    # Fonts and settings are read when the session starts.
    "${namespace_command[@]}" wineserver -k 2>/dev/null || true
    "${namespace_command[@]}" timeout 60 wineserver -w 2>/dev/null || true
}

# Whether a region of a picture shows something: a blank picture, or one cut where the window is
# not, has one or two colours; a window or a tooltip with its text has at least three (background,
# text and border).
picture_shows() { # picture left top width height
    local colours
    [ $# = 5 ] || return 1 # no region at all shows nothing
    colours=$(convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -format %k info: 2>/dev/null) &&
        [ "$colours" -ge 3 ]
}

# After a program running under Wine in the background was asked to end: waits up to 30 s for it
# to end by itself, with status 0, and leave no process of its name in the namespace.
await_program_end() { # pid program_name namespace
    local pid=$1 name=$2 status=0 left first
    for _ in $(seq 150); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "$name still runs 30 s after it was asked to end" >&2
        return 1
    fi
    wait "$pid" || status=$?
    if [ "$status" != 0 ]; then
        echo "$name ended with status $status" >&2
        return 1
    fi
    for left in $(ip netns pids "$3"); do
        first=$(tr '\0' '\n' <"/proc/$left/cmdline" 2>/dev/null | head -n 1)
        if [[ ${first,,} == *"${name,,}" ]]; then
            echo "a $name process ($left) is left behind" >&2
            return 1
        fi
    done
}
