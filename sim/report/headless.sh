#!/bin/sh
# Opens a kelvane-sim HTML report in headless Chromium (Debian package "chromium") with the network shut off
# (every host name fails to resolve, every proxy connection fails), so what it shows is what the file alone
# holds. Checks that a report displays offline and exports its pictures for documents.
# usage: headless.sh dom REPORT.html                          the page as drawn (its DOM after the scripts ran)
#        headless.sh screenshot REPORT.html [OUT.png] [W,H]   the whole page (defaults /tmp/report.png, 1280,2400)
#        headless.sh charts REPORT.html FOLDER                one PNG per interactive chart, FOLDER/<id>.png,
#                                                             at twice the screen size, as its camera button saves
set -eu
usage() {
    sed -n '5,9p' "$0" | sed 's/^# //' >&2
    exit 2
}
[ $# -ge 2 ] && [ -f "$2" ] || usage
mode=$1
report=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
    echo "$0: chromium not found (apt-get install -y chromium)" >&2
    exit 3
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The time budget lets the charts' asynchronous work finish before the page is captured; it is simulated
# time, not a wait.
run() {
    "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --host-resolver-rules="MAP * ~NOTFOUND" --proxy-server="127.0.0.1:9" \
        --user-data-dir="$work/profile" --hide-scrollbars --virtual-time-budget=20000 "$@" 2>"$work/log"
}
absolute() { case "$1" in /*) echo "$1" ;; *) echo "$(pwd)/$1" ;; esac; }
case "$mode" in
dom)
    run --dump-dom "file://$report"
    ;;
screenshot)
    output=$(absolute "${3:-/tmp/report.png}")
    run --screenshot="$output" --window-size="${4:-1280,2400}" "file://$report" >/dev/null
    if [ ! -s "$output" ]; then
        echo "$0: no screenshot written to $output" >&2
        exit 1
    fi
    echo "$output"
    ;;
charts)
    [ $# -eq 3 ] || usage
    folder=$(absolute "$3")
    mkdir -p "$folder"
    # a copy of the page that, once its charts are drawn, lists every chart's PNG in a <pre> element
    sed 's#</body>#<script>\
(function () {\
  var boxes = Array.prototype.slice.call(document.querySelectorAll(".chart.js-plotly-plot"));\
  var out = document.createElement("pre"); out.id = "chart-pngs"; document.body.appendChild(out);\
  boxes.reduce(function (done, box) {\
    return done.then(function () {\
      return Plotly.toImage(box, { format: "png", scale: 2 }).then(function (url) {\
        out.textContent += "chart " + box.id + " " + url.replace(/^data:image\\/png;base64,/, "") + "\\n";\
      });\
    });\
  }, Promise.resolve());\
})();\
</script></body>#' "$report" >"$work/page.html"
    run --window-size=1280,2400 --dump-dom "file://$work/page.html" >"$work/dom"
    awk '/<pre id="chart-pngs">/ { on = 1; sub(/.*<pre id="chart-pngs">/, "") }
         on { done = sub(/<\/pre>.*/, ""); if ($1 == "chart" && NF == 3) print; if (done) exit }' "$work/dom" >"$work/list"
    if [ ! -s "$work/list" ]; then
        echo "$0: no chart drawn in $report (a report without the charting library has static charts only)" >&2
        exit 1
    fi
    while read -r _ id data; do
        printf '%s' "$data" | base64 -d >"$folder/$id.png"
        echo "$folder/$id.png"
    done <"$work/list"
    ;;
*)
    usage
    ;;
esac
