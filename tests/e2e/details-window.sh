# shellcheck shell=bash
# Checks of kestrum.exe under Wine, sourced by the end-to-end tests that run it (gui.sh,
# details.sh). They define exe, reader (kestrum-window-reader in the program's Wine session,
# its lines without carriage returns), lan and fail.

# A message box and an exit status, and no window of this start.
command_line_box() { # expected_status expected_text arguments...
    local expected_status=$1 expected_text=$2 output status=0 pid
    shift 2
    ip netns exec "$lan" wine "$exe" "$@" >/dev/null 2>&1 &
    pid=$!
    output=$(reader message 60) || fail "kestrum.exe $* showed no message box"
    [[ $output == *"$expected_text"* ]] || fail "kestrum.exe $* said: $output"
    wait "$pid" || status=$?
    [ "$status" = "$expected_status" ] || fail "kestrum.exe $* exited with status $status"
    echo "kestrum.exe $*: status $status, message box \"${output:0:80}\""
}

# The details window's rows as kestrum.exe shows them, read under Wine through their window texts
# (kestrum-window-reader details). kestrum.exe runs in the LAN namespace and has found the
# gateway; its facts are read soon after, so this waits a minute or so for them.
check_window_details() { # friendly_name down_bits up_bits external_address (empty: unknown)
    local rows capacity
    capacity=$(python3 -c "print(f'{$2 / 1e6:.1f} Mbit/s down, {$3 / 1e6:.1f} Mbit/s up')")
    for _ in $(seq 30); do
        rows=$(reader details 30) || fail "the connection details did not open"
        grep -qx "address=${4:-unknown}" <<<"$rows" && grep -qx "capacity=$capacity" <<<"$rows" &&
            break
        sleep 2
    done
    printf 'details window: %s\n' "${rows//$'\n'/ | }"
    grep -qx "name=$1" <<<"$rows" || fail "details window: not the gateway's name"
    grep -qx "capacity=$capacity" <<<"$rows" || fail "details window: not the capacity $capacity"
    grep -qx "address=${4:-unknown}" <<<"$rows" || fail "details window: not the address ${4:-unknown}"
    grep -qE '^connection=Connected, up ([0-9]+ d )?[0-9]{2}:[0-9]{2}:[0-9]{2}$' <<<"$rows" ||
        fail "details window: not connected with an uptime"
    grep -qE '^totals=[0-9.]+ [kMG]?B received, [0-9.]+ [kMG]?B sent$' <<<"$rows" ||
        fail "details window: no totals"
}
