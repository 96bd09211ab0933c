#!/usr/bin/env bash
# Configures and builds every deliverable of both bitnesses: build/x64 (x86-64) and build/x86 (32-bit x86)
# for Linux, build/win64 and build/win32 for Windows (mingw-w64: the model DLLs and their test program).
# The Windows builds come first: the Linux builds' tests check and run their DLLs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${KELVANE_JOBS:-$(nproc)}
"$root/tools/setup/install-deps.sh"
for bits in 64 32; do
  cmake -S "$root" -B "$root/build/win$bits" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw$bits.cmake" >/dev/null
  cmake --build "$root/build/win$bits" -j "$jobs"
done
cmake -S "$root" -B "$root/build/x64" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/x64" -j "$jobs"
cmake -S "$root" -B "$root/build/x86" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86.cmake" >/dev/null
cmake --build "$root/build/x86" -j "$jobs"
