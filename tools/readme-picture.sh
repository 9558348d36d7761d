#!/usr/bin/env bash
# Regenerates docs/kestrum.png, the picture README.md shows: the window and the tray icon's
# tooltip while the demo's traffic flows, taken by the demo on its virtual display.
#
#   sudo bash tools/readme-picture.sh
set -euo pipefail
cd "$(dirname "$0")/.."
env -u DISPLAY bash tools/demo.sh 20
cp build/demo/kestrum.png docs/kestrum.png
echo "docs/kestrum.png: $(identify -format '%w x %h' docs/kestrum.png)"
