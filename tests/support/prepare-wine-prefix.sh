#!/usr/bin/env bash
# The Windows build's CTest fixture: the Wine prefix its test programs run in, one per build
# directory, made and booted the way tools/sandbox makes its prefixes (Windows' fonts, the font
# links, the CJK fallback, unmanaged windows), so that a plain `ctest` needs nothing prepared
# beforehand. Made again from scratch when that recipe changes.
#
#   prepare-wine-prefix.sh PREFIX
set -euo pipefail
prefix=${1:?usage: prepare-wine-prefix.sh PREFIX}
recipe="$(cd "$(dirname "$0")/../../tools/sandbox" && pwd)/desktop.sh"
stamp="$prefix/kestrum-recipe"
wanted=$(sha256sum "$recipe" | cut -d' ' -f1)
if [ "$(cat "$stamp" 2>/dev/null)" = "$wanted" ]; then
    echo "Wine prefix $prefix: ready"
    exit 0
fi
# shellcheck source=../../tools/sandbox/desktop.sh
. "$recipe"
if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$prefix timeout 60 wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
fi
echo "Wine prefix $prefix: preparing (the first boot takes a while)"
prepare_wine_prefix "$prefix"
echo "$wanted" >"$stamp"
echo "Wine prefix $prefix: ready"
