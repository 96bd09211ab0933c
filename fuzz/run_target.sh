#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time from a copy of its committed seed corpus, in a scratch
# directory (the receiver writes its trace file to the current directory).
#
#   fuzz/run_target.sh EXECUTABLE CORPUS_DIR SECONDS [libFuzzer options...]
#
# A crash, a leak, a sanitizer report, an input slower than the per-input limit (-timeout, 10 s unless
# given) or an allocation beyond the limits fails the run (non-zero exit); the input is kept and its path
# printed, with the tail of the fuzzer's log. Otherwise only the final statistics are shown.
set -euo pipefail
target=$1 corpus=$2 seconds=$3
shift 3
name=$(basename "$target")
scratch=$(mktemp -d)
mkdir -p "$scratch/corpus" "$scratch/findings" "$scratch/run"
cp "$corpus"/* "$scratch/corpus/"
log="$scratch/log"
status=0
(cd "$scratch/run" && "$target" "$scratch/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$scratch/findings/" -print_final_stats=1 "$@") >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$scratch/findings")" ]; then
  tail -n 60 "$log" >&2
  echo "$name: finding(s) kept in $scratch/findings" >&2
  [ "$status" -ne 0 ] || status=1
  exit "$status"
fi
rm -rf "$scratch"
echo "$name: ${runs:-?} inputs in $seconds s, no findings"
