#!/usr/bin/env bash
# Regenerates docs/kestrum.png, the picture README.md shows: the window and the tray icon's
# tooltip while the demo's traffic flows, taken by the demo on its virtual display. Refuses, and
# keeps the old picture, when the demo fails or its picture lacks the window or the tooltip.
#
#   sudo bash tools/readme-picture.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=sandbox/desktop.sh
. tools/sandbox/desktop.sh
picture=build/demo/kestrum.png
regions=build/demo/kestrum.regions

refuse() {
    echo "readme-picture: $*; docs/kestrum.png is left as it was" >&2
    exit 1
}

env -u DISPLAY bash tools/demo.sh 20 || refuse "the demo failed"
[ -f "$picture" ] && [ -f "$regions" ] || refuse "the demo left no picture"
window=$(sed -n 's/^window //p' "$regions")
tooltip=$(sed -n 's/^tooltip //p' "$regions")
# shellcheck disable=SC2086 # a rectangle is four words
[ -n "$window" ] && picture_shows "$picture" $window || refuse "the picture lacks the window"
# shellcheck disable=SC2086
[ -n "$tooltip" ] && picture_shows "$picture" $tooltip || refuse "the picture lacks the tooltip"
cp "$picture" docs/kestrum.png
echo "docs/kestrum.png: $(identify -format '%w x %h' docs/kestrum.png)"
