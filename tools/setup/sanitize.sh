#!/usr/bin/env bash
# Sanitizer builds of the tests, with clang, and their runs. Exits non-zero on any failure or report.
#
#   tools/setup/sanitize.sh [FUZZ_SECONDS]
#
# build/asan  AddressSanitizer + UndefinedBehaviorSanitizer (no recovery from any report), LeakSanitizer:
#             the unit tests, the hardening tests (the eight-thread link runs under ThreadSanitizer only),
#             200 init/wave/close cycles of each model, then each of the four model fuzzers for
#             FUZZ_SECONDS (default 20), two at a time.
# build/tsan  ThreadSanitizer: the concurrency tests.
# Only what these runs need is built.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${KELVANE_JOBS:-$(nproc)}
seconds=${1:-20}
configure() {
  cmake -S "$root" -B "$root/build/$1" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DKELVANE_BENCH=OFF -DKELVANE_SANITIZE="$2" >/dev/null
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
asan=$root/build/asan
layers=(ami runtime math dsp tx rx models kit library)
layer_tests=("${layers[@]/#/kelvane_}")
layer_tests=("${layer_tests[@]/%/_tests}")
configure asan address
cmake --build "$asan" -j "$jobs" --target "${layer_tests[@]}" kelvane_hardening_tests kelvane_soak rx_init_fuzz \
  rx_wave_fuzz tx_init_fuzz tx_wave_fuzz
# A host may run out of memory: allocations then fail as they would without the sanitizer, instead of
# ending the process. The runtime test of the shipped libraries needs their static runtime and an
# address-space limit, which this build has not.
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && for t in "${layer_tests[@]}"; do
  "$asan/tests/$t" --gtest_brief=1 --gtest_filter=-LibraryRuntime.*
done) &
unit=$!
(cd "$scratch" && "$asan/tests/hardening/kelvane_hardening_tests" --gtest_brief=1 \
  --gtest_filter=-Concurrency.EightThreads* && "$asan/tests/hardening/kelvane_soak" cycles 200)
wait "$unit"
fuzz() {
  local kind=${1#*_}
  "$root/fuzz/run_target.sh" "$asan/fuzz/models/$1" "$root/fuzz/models/corpus/${kind%_fuzz}" "$seconds" \
    -malloc_limit_mb=512 -timeout=25
}
fuzz rx_init_fuzz & first=$!
fuzz tx_init_fuzz
wait "$first"
fuzz rx_wave_fuzz & first=$!
fuzz tx_wave_fuzz
wait "$first"

echo "== ThreadSanitizer =="
tsan=$root/build/tsan
configure tsan thread
cmake --build "$tsan" -j "$jobs" --target kelvane_hardening_tests
(cd "$scratch" && TSAN_OPTIONS=halt_on_error=1 "$tsan/tests/hardening/kelvane_hardening_tests" --gtest_brief=1 \
  --gtest_filter='Concurrency.*')
