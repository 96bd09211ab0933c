#!/usr/bin/env bash
# Builds the parameter-string fuzzer and runs it for a bounded time.
#
#   fuzz/run_fuzz.sh [SECONDS] [BUILD_DIR]
#
# SECONDS defaults to 30; BUILD_DIR to $FUZZ_BUILD_DIR or build-fuzz at the top of the tree.
# The committed corpus is copied into a scratch directory, so the run never changes it.
# Exits non-zero on any finding; the crashing input is kept and its path printed (fuzz/run_target.sh).
set -euo pipefail

seconds=${1:-30}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${2:-${FUZZ_BUILD_DIR:-$here/../build-fuzz}}
case $seconds in ''|*[!0-9]*) echo "run_fuzz.sh: SECONDS must be a whole number, got '$seconds'" >&2; exit 2;; esac

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2

"$build/parser_alloc_failure"

"$here/run_target.sh" "$build/parser_fuzz" "$here/corpus" "$seconds" -max_len=8192
