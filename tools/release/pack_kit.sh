#!/usr/bin/env bash
# pack_kit.sh: builds the kit (unless --no-build), lays out the release folder kelvane-kit-<version>/ and
# packs it as .zip and .tar.gz.
#
#   tools/release/pack_kit.sh [--no-build] [--out DIR] [--regenerate-golden] [--partial]
#
#   --out DIR              where the folder and archives go (default build/release)
#   --no-build             use the builds as they are (build/x64, build/x86, build/win64, build/win32)
#   --regenerate-golden    accept golden files that differ from the pinned digests and re-pin them in
#                          kit/release/golden.sha256 (do this on purpose, when the models' output changes)
#   --partial              leave out libraries that are not built, with a warning, instead of failing
#   --sim PATH, --kit-generator PATH
#                          the 64-bit build's kelvane-sim and gen_kit_files (default: found in build/x64)
#
# The version is the CMake project version; the libraries are the ones the .ibs names, taken from the
# build of their platform; the golden files are made with the kit's own 64-bit Linux libraries, must
# match the pinned digests, and the finished folder must pass kelvane-sim verify.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/release
build=yes
regenerate=no
partial=no
sim=
generator=
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --no-build) build=no; shift ;;
    --regenerate-golden) regenerate=yes; shift ;;
    --partial) partial=yes; shift ;;
    --sim) sim=$2; shift 2 ;;
    --kit-generator) generator=$2; shift 2 ;;
    *) echo "usage: $0 [--no-build] [--out DIR] [--regenerate-golden] [--partial] [--sim PATH] [--kit-generator PATH]" >&2
       exit 2 ;;
  esac
done
fail() { echo "pack_kit: $*" >&2; exit 1; }

[ $build = no ] || "$root/tools/setup/build-all.sh"
x64=$root/build/x64
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$x64/CMakeCache.txt" 2>/dev/null || true)
[ -n "$version" ] || fail "no configured 64-bit build in $x64 (run without --no-build)"
grep -q "^$version\$" "$root/kit/release/CHANGELOG.txt" || fail "kit/release/CHANGELOG.txt has no entry for $version"
[ -n "$sim" ] || sim=$(find "$x64" -name kelvane-sim -type f -perm -u+x | head -n 1)
[ -n "$generator" ] || generator=$(find "$x64" -name gen_kit_files -type f -perm -u+x | head -n 1)
[ -x "$sim" ] && [ -x "$generator" ] || fail "kelvane-sim or gen_kit_files is not built in $x64"
name=kelvane-kit-$version
kit=$out/$name
mkdir -p "$out"
out=$(cd "$out" && pwd)
kit=$out/$name
rm -rf "$kit" "$out/$name.zip" "$out/$name.tar.gz"
mkdir "$kit"

# The IBIS and AMI files, and every library their Executable lines name, from the build of its platform.
cp "$x64/kit/kelvane.ibs" "$x64/kit/kelvane_tx.ami" "$x64/kit/kelvane_rx.ami" "$kit/"
library_list=""
while read -r _ platform library ami; do
  case $platform in
    Windows_*_64) from=$root/build/win64/kit ;;
    Windows_*_32) from=$root/build/win32/kit ;;
    Linux_*_64) from=$root/build/x64/kit ;;
    Linux_*_32) from=$root/build/x86/kit ;;
    *) fail "kelvane.ibs names an unknown platform $platform" ;;
  esac
  [ -f "$kit/$ami" ] || fail "kelvane.ibs names $ami, which the build did not write"
  if [ -f "$from/$library" ]; then
    cp "$from/$library" "$kit/"
  elif [ $partial = yes ]; then
    echo "pack_kit: warning: $library ($platform) is not built in $from; left out" >&2
  else
    fail "$library ($platform) is not built: expected $from/$library"
  fi
  library_list+=$(printf '                       %-20s %-25s %s' "$library" "$platform" "${ami%.ami}")$'\n'
done < <(grep '^Executable' "$kit/kelvane.ibs")

# Golden waveforms from the kit's own libraries, checked against the pinned digests.
manifest=$root/kit/release/golden.sha256
"$sim" golden "$kit" --tx-lib "$kit/kelvane_tx_x64.so" --rx-lib "$kit/kelvane_rx_x64.so" >/dev/null
digests=$(cd "$kit" && sha256sum golden_*)
if [ $regenerate = yes ]; then
  printf '%s\n' "$digests" >"$manifest"
  echo "pack_kit: pinned new golden digests in $manifest"
elif [ "$digests" != "$(cat "$manifest" 2>/dev/null)" ]; then
  diff <(cat "$manifest" 2>/dev/null) <(printf '%s\n' "$digests") >&2 || true
  fail "the golden files differ from the digests pinned in $manifest; if the models' output changed on purpose, rerun with --regenerate-golden and commit the manifest"
fi

# README (with the library list and the parameter tables filled in) and CHANGELOG.
guide=$("$generator" --parameter-guide)
KIT_VERSION=$version KIT_LIBRARIES=${library_list%$'\n'} KIT_GUIDE=$guide awk '
  /^@LIBRARY_LIST@$/ { print ENVIRON["KIT_LIBRARIES"]; next }
  /^@PARAMETER_GUIDE@$/ { print ENVIRON["KIT_GUIDE"]; next }
  { gsub(/@VERSION@/, ENVIRON["KIT_VERSION"]); print }' "$root/kit/release/README.txt.in" >"$kit/README.txt"
cp "$root/kit/release/CHANGELOG.txt" "$kit/"

"$sim" verify "$kit" >/dev/null || { "$sim" verify "$kit" >&2 || true; fail "the laid-out kit does not pass kelvane-sim verify"; }

(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name" && cmake -E tar czf "$name.tar.gz" "$name")
echo "pack_kit: $kit"
echo "pack_kit: $out/$name.zip"
echo "pack_kit: $out/$name.tar.gz"
