#!/usr/bin/env bash
# Regenerates the receiver equaliser's response bank and compares it byte for byte with the committed file.
# Usage: ctle_bank_regen.sh <gen_ctle_bank binary> <committed ctle_bank.bin> <scratch dir>
set -euo pipefail

if [ "$#" -ne 3 ]; then
    echo "usage: $0 <gen_ctle_bank binary> <committed ctle_bank.bin> <scratch dir>" >&2
    exit 2
fi
generator=$1
committed=$2
scratch=$3

mkdir -p "$scratch"
fresh="$scratch/ctle_bank.bin"
rm -f "$fresh"

if ! "$generator" "$fresh" > "$scratch/gen_ctle_bank.log"; then
    echo "ctle_bank regen: the generator failed (its report: $scratch/gen_ctle_bank.log)" >&2
    exit 1
fi
if ! cmp -s "$fresh" "$committed"; then
    echo "ctle_bank regen: $fresh differs from $committed" >&2
    cmp -l "$fresh" "$committed" 2>&1 | head -n 5 >&2 || true
    exit 1
fi
echo "ctle_bank regen: $committed regenerated bit for bit"
