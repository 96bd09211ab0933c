#!/usr/bin/env bash
# check_release_kit.sh <scratch dir> <kelvane-sim> <gen_kit_files>: packs the release kit from the builds as
# they are and checks what a user unpacks: one flat folder holding exactly the kit's files, every Executable
# line of its .ibs naming a file in it, the files the same as the builds', and kelvane-sim verify passing on
# both archives (the .ami defaults start the libraries without a warning, the golden run is reproduced bit
# for bit) and failing on a kit whose golden output or .ami file was altered. Every library must be built,
# the Windows DLLs too: a missing one fails the check with its name.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$1
sim=$2
generator=$3
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$scratch"
mkdir -p "$scratch"

"$root/tools/release/pack_kit.sh" --no-build --out "$scratch/out" --sim "$sim" --kit-generator "$generator" \
  >"$scratch/pack.log" 2>&1 ||
  { cat "$scratch/pack.log"; fail "pack_kit.sh failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/x64/CMakeCache.txt")
name=kelvane-kit-$version

for archive in "$name.zip" "$name.tar.gz"; do
  into=$scratch/unpacked-${archive##*.}
  mkdir -p "$into"
  (cd "$into" && cmake -E tar xf "$scratch/out/$archive") || fail "cannot unpack $archive"
  [ "$(ls "$into")" = "$name" ] || fail "$archive does not unpack into the one folder $name: $(ls "$into")"
  kit=$into/$name
  [ -z "$(find "$kit" -mindepth 1 -type d)" ] || fail "$archive: the kit folder is not flat"

  # Exactly the kit's files: the .ibs's libraries and .ami files, the .ibs, README, CHANGELOG, golden files.
  expected=$( { grep '^Executable' "$kit/kelvane.ibs" | awk '{print $3; print $4}'
                echo kelvane.ibs; echo README.txt; echo CHANGELOG.txt
                grep -o 'golden_[a-z_]*\.[a-z]*' "$root/kit/release/golden.sha256"; } | sort -u)
  [ "$(ls "$kit" | sort)" = "$expected" ] || { diff <(echo "$expected") <(ls "$kit" | sort); fail "$archive: unexpected file list"; }
  [ "$(grep -c '^Executable' "$kit/kelvane.ibs")" = 8 ] || fail "$archive: the .ibs does not name eight libraries"
  for f in kelvane.ibs kelvane_tx.ami kelvane_rx.ami kelvane_tx_x64.so kelvane_rx_x64.so; do
    cmp -s "$kit/$f" "$root/build/x64/kit/$f" || fail "$archive: $f differs from the build's"
  done
  for f in x86/kit/kelvane_tx_x86.so x86/kit/kelvane_rx.so win64/kit/kelvane_tx_x64.dll win64/kit/kelvane_rx_x64.dll \
           win32/kit/kelvane_tx_x86.dll win32/kit/kelvane_rx.dll; do
    cmp -s "$kit/${f##*/}" "$root/build/$f" || fail "$archive: ${f##*/} differs from build/$f"
  done
  grep -q "version $version" "$kit/README.txt" || fail "$archive: README does not name version $version"
  ! grep -q '@[A-Z_]*@' "$kit/README.txt" || fail "$archive: README has an unfilled placeholder"
  "$sim" verify "$kit" >"$scratch/verify.log" 2>&1 || { cat "$scratch/verify.log"; fail "verify failed on $archive"; }
done
cat "$scratch/verify.log"

# verify notices a golden output that the libraries do not reproduce, and .ami defaults a library warns about.
sed -i '1000s/.*/0.123/' "$kit/golden_rx_output.csv"
sed -i 's/(c1 (Usage In)/(c1x (Usage In)/' "$kit/kelvane_tx.ami"
status=0
"$sim" verify "$kit" >"$scratch/altered.log" 2>&1 || status=$?
{ [ $status = 1 ] && grep -q "FAIL receiver output" "$scratch/altered.log" &&
  grep -q "FAIL kelvane_tx_x64.so .*parameter c1 " "$scratch/altered.log"; } ||
  { cat "$scratch/altered.log"; fail "verify passed an altered golden file or .ami file"; }

rm -rf "$scratch"
echo "release kit: all checks passed"
