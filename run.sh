#!/usr/bin/env bash
# The product's main job: builds the model kit (every library of both bitnesses) and runs the link simulator
# on its built-in default: PRBS-15 at 28 Gb/s through the transmitter, a 15 dB analytic channel and the
# receiver, with adaptation. Arguments are passed on to kelvane-sim (try --help).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
echo "Building the Kelvane kit (Windows and Linux libraries of both bitnesses): the first build takes several"
echo "minutes, later ones rebuild only what changed."
"$root/tools/setup/build-all.sh"
echo "Kelvane kit built in $root/build/x64/kit and $root/build/x86/kit"
"$root/build/x64/sim/kelvane-sim" "$@"
