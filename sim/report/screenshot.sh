#!/bin/sh
# Renders an HTML report with headless Chromium (Debian package "chromium") into a PNG screenshot, to check
# that the report displays offline in a real browser.
# usage: screenshot.sh REPORT.html [OUTPUT.png] [WIDTH,HEIGHT]   (defaults: /tmp/report.png, 1280,2400)
set -eu
if [ $# -lt 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 REPORT.html [OUTPUT.png] [WIDTH,HEIGHT]" >&2
    exit 2
fi
report=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
output=${2:-/tmp/report.png}
size=${3:-1280,2400}
case "$output" in /*) ;; *) output=$(pwd)/$output ;; esac
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
    echo "$0: chromium not found (apt-get install -y chromium)" >&2
    exit 1
fi
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
# no network, no first-run work: the report must need nothing beyond its own file
"$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars --screenshot="$output" --window-size="$size" \
    "file://$report" >/dev/null 2>&1
if [ ! -s "$output" ]; then
    echo "$0: no screenshot written to $output" >&2
    exit 1
fi
echo "$output"
