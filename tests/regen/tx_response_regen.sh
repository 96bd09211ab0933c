#!/bin/sh
# Regenerates the transmitter's stored response table and requires it to equal the committed one byte for
# byte. Only meaningful in 64-bit builds: the generator calls libm's sin, asin, exp and log.
#
#     tx_response_regen.sh <gen_tx_response binary> <committed tx/data/TxResponseTable.cpp> <scratch dir>
set -eu

if [ "$#" -ne 3 ]; then
    echo "usage: $0 <gen_tx_response> <TxResponseTable.cpp> <scratch dir>" >&2
    exit 2
fi
generator=$1
committed=$2
scratch=$3

mkdir -p "$scratch"
regenerated="$scratch/TxResponseTable.cpp"
rm -f "$regenerated"

# A foreign locale in the environment must not change a byte of the output.
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "$generator" "$regenerated" >/dev/null

if cmp -s "$committed" "$regenerated"; then
    echo "tx response table: regenerated file matches $committed"
    exit 0
fi
echo "tx response table: regenerated $regenerated differs from $committed:" >&2
diff "$committed" "$regenerated" | head -20 >&2 || true
exit 1
