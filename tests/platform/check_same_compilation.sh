#!/usr/bin/env bash
# Checks that a Windows build compiles its model libraries from the same sources, with the same flags that
# bear on the arithmetic, as the Linux build of the same bitness: the 32-bit DLLs cannot be run here, so
# this, their tables and the 32-bit Linux libraries' tested digests stand for their bits.
# Usage: check_same_compilation.sh <linux compile_commands.json> <windows compile_commands.json>
set -u
linux=$1
windows=$2
for f in "$linux" "$windows"; do
  [ -f "$f" ] || { echo "FAIL: $f is missing (tools/setup/build-all.sh configures every build)"; exit 1; }
done

# One line per compiled source and flag that bears on the generated code: "<target> <source> <flag>" (a source
# without such flags still gives one line). Include directories, position independence, symbol visibility
# and the -m32 of the Linux build do not bear on it.
compilations() {
  awk '/"command":/ {
    sub(/^ *"command": "/, ""); sub(/",?$/, "")
    n = split($0, w, " "); target = ""; source = ""; flags = ""
    for (i = 2; i <= n; i++) {
      if (w[i] == "-o") { target = w[++i]; sub(/^CMakeFiles\//, "", target); sub(/\.dir\/.*/, "", target) }
      else if (w[i] == "-c") source = w[++i]
      else if (w[i] ~ /^-fPIC$|^-fvisibility|^-fno-keep-inline-dllexport$|^-m32$/) continue
      else if (w[i] ~ /^-O|^-f|^-m|^-std=|^-D/) flags = flags " " w[i]
    }
    print target, source, "-"
    m = split(flags, f, " ")
    for (j = 1; j <= m; j++) print target, source, f[j]
  }' "$1" | sort -u
}
windows_lines=$(compilations "$windows" | grep -v "/tests/")  # the test program is Windows's own
targets=$(awk '{print $1}' <<<"$windows_lines" | sort -u)
# The Linux libraries also link the stand-ins for newer C-library symbols, which Windows has no use for.
linux_lines=$(compilations "$linux" | grep -v "/ami/baseline/" | awk -v t="$targets" 'BEGIN {n = split(t, a, "\n"); for (i = 1; i <= n; i++) keep[a[i]] = 1} keep[$1]')

fail=0
if [ -z "$windows_lines" ]; then echo "FAIL: no model sources in $windows"; fail=1; fi
if ! diff <(echo "$linux_lines") <(echo "$windows_lines") >/dev/null; then
  echo "FAIL: the builds compile different sources or with different flags (< Linux, > Windows):"
  diff <(echo "$linux_lines") <(echo "$windows_lines")
  fail=1
fi
[ $fail -eq 0 ] && echo "ok: $(awk '{print $2}' <<<"$windows_lines" | sort -u | wc -l) sources in targets $(echo $targets) compiled alike"
exit $fail
