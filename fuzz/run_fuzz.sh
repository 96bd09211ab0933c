#!/usr/bin/env bash
# Builds the parameter-string fuzzer and runs it for a bounded time.
#
#   fuzz/run_fuzz.sh [SECONDS] [BUILD_DIR]
#
# SECONDS defaults to 30; BUILD_DIR to $FUZZ_BUILD_DIR or build-fuzz at the top of the tree.
# The committed corpus is copied into a scratch directory, so the run never changes it.
# Exits non-zero on any finding; the crashing input is kept and its path printed.
set -euo pipefail

seconds=${1:-30}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${2:-${FUZZ_BUILD_DIR:-$here/../build-fuzz}}
case $seconds in ''|*[!0-9]*) echo "run_fuzz.sh: SECONDS must be a whole number, got '$seconds'" >&2; exit 2;; esac

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2

"$build/parser_alloc_failure"

scratch=$(mktemp -d)
cp "$here"/corpus/* "$scratch"/
mkdir -p "$scratch/findings"
status=0
# The fuzzer's running commentary goes to a log; only its final statistics are shown, or the whole log's
# tail when something was found.
log=$(mktemp)
"$build/parser_fuzz" "$scratch" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -artifact_prefix="$scratch/findings/" -print_final_stats=1 >"$log" 2>&1 || status=$?
grep -E '^(Done|stat::)' "$log" || true
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$scratch/findings")" ]; then
  tail -n 60 "$log" >&2
  echo "run_fuzz.sh: finding(s) kept in $scratch/findings" >&2
  [ "$status" -ne 0 ] || status=1
  exit "$status"
fi
rm -f "$log"
rm -rf "$scratch"
echo "run_fuzz.sh: no findings in $seconds s"
