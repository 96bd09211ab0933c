#!/usr/bin/env bash
# Runs the digest scenario through a Linux model library and through the Windows DLL of the same sources
# under wine, and requires the two outputs to be equal: the same bits on both platforms.
# Usage: compare_windows_digest.sh <tx|rx> <work dir> <linux emulator or ""> <linux ami_digest> <linux library>
#          <wine loader> <must-start|may-skip> <wine prefix> <ami_digest.exe> <dll>
# With may-skip, a wine that cannot start the Windows program makes the test report SKIPPED (exit 77).
set -u
model=$1 work=$2 emulator=$3 linux_digest=$4 linux_library=$5 wine=$6 start_mode=$7 prefix=$8 exe=$9 dll=${10}

for f in "$exe" "$dll"; do
  [ -f "$f" ] || { echo "FAIL: $f is missing (tools/setup/build-all.sh builds the Windows programs and DLLs)"; exit 1; }
done

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or browser engine needed
wineserver=$(dirname "$wine")/wineserver
stop_wineserver() { [ -x "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1; return 0; }
trap stop_wineserver EXIT

# Wine's first start creates the prefix. The program without arguments prints its usage and exits with 2.
probe=$("$wine" "$exe" 2>&1)
probe_status=$?
if [ $probe_status -ne 2 ] || ! grep -q "usage: ami_digest" <<<"$probe"; then
  if [ "$start_mode" = may-skip ]; then
    echo "SKIPPED: $wine cannot start the Windows program $exe here (exit $probe_status)."
    echo "This machine's kernel runs no 32-bit programs natively and 32-bit wine does not start under"
    echo "qemu-user; the 32-bit DLLs are checked statically (exports, imports, sources and flags)."
    echo "$probe" | tail -n 3
    exit 77
  fi
  echo "FAIL: $wine cannot start $exe (exit $probe_status):"; echo "$probe" | tail -n 5
  exit 1
fi

rm -rf "$work" && mkdir -p "$work/linux" "$work/windows"
# Each run writes "adapt.txt" into its own directory.
(cd "$work/linux" && ${emulator:+"$emulator"} "$linux_digest" "$model" "$linux_library") >"$work/linux.txt" 2>"$work/linux.err"
linux_status=$?
windows_dll="Z:${dll//\//\\}"
(cd "$work/windows" && "$wine" "$exe" "$model" "$windows_dll") >"$work/windows.txt" 2>"$work/windows.err"
windows_status=$?
# The Windows console writes CRLF line ends to a pipe; the digests are compared line by line.
sed -i 's/\r$//' "$work/windows.txt" "$work/windows.err"

cat "$work/linux.err" "$work/windows.err"
fail=0
if [ $linux_status -ne 0 ]; then echo "FAIL: the Linux run exited with $linux_status"; fail=1; fi
if [ $windows_status -ne 0 ]; then echo "FAIL: the run under wine exited with $windows_status"; fail=1; fi
if ! diff "$work/linux.txt" "$work/windows.txt" >"$work/diff.txt"; then
  echo "FAIL: the digests differ (< Linux, > Windows):"; cat "$work/diff.txt"; fail=1
fi
# The trace of the last run, byte for byte (line ends included).
if [ "$model" = rx ] && ! cmp "$work/linux/adapt.txt" "$work/windows/adapt.txt"; then
  echo "FAIL: the last run's adapt.txt differs"; fail=1
fi
[ $fail -eq 0 ] && { echo "ok: equal digests, Linux and Windows:"; cat "$work/linux.txt"; }
exit $fail
