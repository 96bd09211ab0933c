#!/usr/bin/env bash
# check_release_kit.sh <scratch dir>: packs the release kit from the builds as they are and checks what a
# user unpacks: one flat folder holding exactly the kit's files, every Executable line of its .ibs naming a
# file in it, the files the same as the build's, and kelvane-sim verify passing on both archives (and
# failing on a kit whose golden output was altered). Until the Windows build is part of the set-up, the
# DLLs are allowed to be missing; after that a missing library fails the check.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$1
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$scratch"
mkdir -p "$scratch"

partial=()
grep -q 'win64' "$root/tools/setup/build-all.sh" || partial=(--partial)
"$root/tools/release/pack_kit.sh" --no-build --out "$scratch/out" "${partial[@]}" >"$scratch/pack.log" 2>&1 ||
  { cat "$scratch/pack.log"; fail "pack_kit.sh failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/x64/CMakeCache.txt")
name=kelvane-kit-$version
sim=$root/build/x64/tools/sim/kelvane-sim

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
  if [ ${#partial[@]} -gt 0 ]; then expected=$(echo "$expected" | grep -v '\.dll$'); fi
  [ "$(ls "$kit" | sort)" = "$expected" ] || { diff <(echo "$expected") <(ls "$kit" | sort); fail "$archive: unexpected file list"; }
  [ "$(grep -c '^Executable' "$kit/kelvane.ibs")" = 8 ] || fail "$archive: the .ibs does not name eight libraries"
  for f in kelvane.ibs kelvane_tx.ami kelvane_rx.ami kelvane_tx_x64.so kelvane_rx_x64.so; do
    cmp -s "$kit/$f" "$root/build/x64/kit/$f" || fail "$archive: $f differs from the build's"
  done
  for f in kelvane_tx_x86.so kelvane_rx.so; do
    cmp -s "$kit/$f" "$root/build/x86/kit/$f" || fail "$archive: $f differs from the build's"
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
