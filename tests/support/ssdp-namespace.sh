#!/bin/sh
# Runs a discovery test program inside a network namespace of its own, where the only interface
# is loopback and multicast is routed onto it: nothing reaches the machine's real network.
# Usage: ssdp-namespace.sh PROGRAM [wine]
# With "wine" the program is a Windows build; a wineserver of a fresh prefix is started inside
# the namespace, since Wine creates the program's sockets there.
set -eu
program=$1
runner=${2:-}

if ! unshare -n true 2>/dev/null; then
    # Where these tests must run (CI), their skip is a failure.
    if [ "${KESTRUM_REQUIRE_NAMESPACES:-}" = 1 ]; then
        echo "FAIL: no network namespace can be created here (unshare -n needs root)"
        exit 1
    fi
    echo "SKIP: no network namespace can be created here (unshare -n needs root)"
    exit 77
fi

exec unshare -n sh -eu -c '
ip link set lo up
ip route add 239.0.0.0/8 dev lo
export KESTRUM_TEST_NETNS=1
if [ "$2" = wine ]; then
    WINEPREFIX=$(mktemp -d)
    export WINEPREFIX WINEDEBUG=-all
    trap "wineserver -k 2>/dev/null || true; rm -rf \"\$WINEPREFIX\"" EXIT
    wine "$1"
else
    "$1"
fi
' ssdp-namespace "$program" "$runner"
