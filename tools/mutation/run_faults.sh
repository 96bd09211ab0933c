#!/usr/bin/env bash
# Applies deliberate wiring faults to the model code one at a time and reports which survive the tests:
# every fault listed here must be caught. Not part of CI (each fault rebuilds the model libraries).
#
#   tools/mutation/run_faults.sh [SCRATCH_DIR]     (default /tmp/kelvane-faults)
#
# The committed tree (HEAD) is copied into SCRATCH_DIR/src and built once in SCRATCH_DIR/build (64-bit);
# each fault is a sed expression on one source file, applied to the copy, built, tested with the per-layer
# test executables of the layers it touches and the library tests, then undone. Exit status: the number of
# faults that survived. Add a line to FAULTS when a new kind of wiring fault turns up.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=${1:-/tmp/kelvane-faults}
jobs=${KELVANE_JOBS:-$(nproc)}
src=$scratch/src
build=$scratch/build

# name | file | sed expression
FAULTS=(
  "gain-stage bits swapped in the gain stage|rx/KelvaneRx.cpp|s/gainStage.EQ_HIGAIN = TruncateToInt(EQ_HIGAIN)/gainStage.EQ_HIGAIN = TruncateToInt(VGA_GAIN)/; s/gainStage.VGA_GAIN = TruncateToInt(VGA_GAIN)/gainStage.VGA_GAIN = TruncateToInt(EQ_HIGAIN)/"
  "gain-stage bits swapped in the adaptation engine|rx/KelvaneRx.cpp|s/adaptation.VGA_GAIN = TruncateToInt(VGA_GAIN)/adaptation.VGA_GAIN = TruncateToInt(EQ_HIGAIN)/; s/adaptation.EQ_HIGAIN = TruncateToInt(EQ_HIGAIN)/adaptation.EQ_HIGAIN = TruncateToInt(VGA_GAIN)/"
  "DFETap1Limit not passed to the engine|rx/KelvaneRx.cpp|/adaptation.Tap1Limit = TruncateToInt(DFETap1Limit);/d"
  "DFEtap4 and DFEtap5 swapped|rx/KelvaneRx.cpp|s/adaptation.DFEtap4 = TruncateToInt(DFEtap4)/adaptation.DFEtap4 = TruncateToInt(DFEtap5)/; s/adaptation.DFEtap5 = TruncateToInt(DFEtap5)/adaptation.DFEtap5 = TruncateToInt(DFEtap4)/"
  "Factor divides the oscillator frequency|rx/ClockRecoverySection.cpp|s/bitRate \* Factor/bitRate \/ Factor/"
  "Rx_config 0 decisions one sample late|rx/KelvaneRx.cpp|/^    fire(halfDecisionToReal);\$/d; s/^    fire(outputMux);\$/    fire(outputMux);\n    fire(halfDecisionToReal);/"
  "c1_sign and cm1_sign swapped|tx/KelvaneTx.cpp|s/ffe.cm1_sign = TruncateToInt(cm1_sign)/ffe.cm1_sign = TruncateToInt(c1_sign)/; s/ffe.c1_sign = TruncateToInt(c1_sign)/ffe.c1_sign = TruncateToInt(cm1_sign)/"
  "c0_sign wired from c1_sign|tx/KelvaneTx.cpp|s/ffe.c0_sign = TruncateToInt(c0_sign)/ffe.c0_sign = TruncateToInt(c1_sign)/"
  "c1_sign tested != 0 instead of == 1|tx/tx_fir_new.cpp|s/if (c1_sign == 1)/if (c1_sign != 0)/"
  "cm1_sign tested != 0 instead of == 1|tx/tx_fir_new.cpp|s/if (cm1_sign == 1)/if (cm1_sign != 0)/"
  "c0_sign tested == 1 instead of == 0 (negated)|tx/tx_fir_new.cpp|s/if (c0_sign == 0)/if (c0_sign != 1)/"
  "main-tap entry 11 changed|tx/tx_fir_new.cpp|s/0.685, /0.68,  /"
  "main-tap entry 31 changed|tx/tx_fir_new.cpp|s/1.22,  1.225}/1.22,  1.22}/"
  "main-tap index without the pre-cursor|tx/tx_fir_new.cpp|s/int sum = cm1 + c0 + c1;/int sum = c0 + c1;/"
  "FFE taps one unit interval of samples apart|tx/KelvaneTx.cpp|s/ffe.samplesPerBit = kFfeTapSpacingSamples;/ffe.samplesPerBit = static_cast<int>(samplesPerBit);/"
)

rm -rf "$src"
mkdir -p "$src" "$build"
git -C "$root" archive HEAD | tar -x -m -C "$src"  # fresh times: a kept build must not trust older objects
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELVANE_BENCH=OFF >/dev/null || exit 100
tests=(kelvane_tx_tests kelvane_rx_tests kelvane_library_tests)
cmake --build "$build" -j "$jobs" --target "${tests[@]}" >/dev/null || exit 100
for t in "${tests[@]}"; do
  (cd "$scratch" && "$build/tests/$t" --gtest_brief=1 >/dev/null) || { echo "the unchanged tree fails $t"; exit 100; }
done

survived=0
for entry in "${FAULTS[@]}"; do
  IFS='|' read -r name file expression <<<"$entry"
  cp "$src/$file" "$scratch/original"
  sed -i "$expression" "$src/$file"
  if cmp -s "$src/$file" "$scratch/original"; then
    echo "NOT APPLIED  $name ($file: the expression matches nothing; update this script)"
    survived=$((survived + 1))
    continue
  fi
  verdict="SURVIVED"
  if ! cmake --build "$build" -j "$jobs" --target "${tests[@]}" >/dev/null 2>&1; then
    verdict="caught (does not build)"
  else
    for t in "${tests[@]}"; do
      if ! (cd "$scratch" && "$build/tests/$t" --gtest_brief=1 >"$scratch/$t.log" 2>&1); then
        verdict="caught by $t: $(grep -m3 '^\[  FAILED  \] [A-Za-z]' "$scratch/$t.log" | sed 's/\[  FAILED  \] //; s/ (.*//' | paste -sd, -)"
        break
      fi
    done
  fi
  [ "$verdict" = SURVIVED ] && survived=$((survived + 1))
  printf '%-50s %s\n' "$name" "$verdict"
  cp "$scratch/original" "$src/$file"
done
echo "$survived of ${#FAULTS[@]} faults survived"
exit "$survived"
