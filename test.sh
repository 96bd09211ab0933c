#!/usr/bin/env bash
# Builds everything and runs every test of both bitnesses (the 32-bit suite under qemu-i386), then fuzzes
# the parameter parser for a bounded time, then runs the sanitizer builds (the tests under AddressSanitizer
# with UndefinedBehaviorSanitizer and LeakSanitizer, the model fuzzers, the concurrency tests under
# ThreadSanitizer). Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
jobs=${KELVANE_JOBS:-$(nproc)}
"$root/tools/setup/build-all.sh"
echo "== 64-bit tests =="
ctest --test-dir "$root/build/x64" -j "$jobs" --output-on-failure
echo "== 32-bit tests (qemu-i386) =="
ctest --test-dir "$root/build/x86" -j "$jobs" --output-on-failure
echo "== parser fuzzing =="
"$root/fuzz/run_fuzz.sh" "${KELVANE_FUZZ_SECONDS:-30}" "$root/build/fuzz"
echo "== sanitizer builds and model fuzzing =="
"$root/tools/setup/sanitize.sh" "${KELVANE_MODEL_FUZZ_SECONDS:-20}"
