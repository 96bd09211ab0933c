#!/usr/bin/env bash
# Configures and builds every deliverable of both bitnesses: build/x64 (x86-64) and build/x86 (32-bit x86).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${KELVANE_JOBS:-$(nproc)}
"$root/tools/setup/install-deps.sh"
cmake -S "$root" -B "$root/build/x64" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/x64" -j "$jobs"
cmake -S "$root" -B "$root/build/x86" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86.cmake" >/dev/null
cmake --build "$root/build/x86" -j "$jobs"
