#!/usr/bin/env bash
# ./run.sh must show the build's progress, not keep the user waiting in silence: with cmake replaced by a
# stand-in that only reports progress, that progress must reach run.sh's output, followed by the simulator.
set -euo pipefail
root=$1
stub=$(mktemp -d)
trap 'rm -rf "$stub"' EXIT
cat > "$stub/cmake" <<'STUB'
#!/usr/bin/env bash
case " $* " in *" --build "*) echo "[ 42%] Building CXX object stand-in.o" ;; esac
STUB
chmod +x "$stub/cmake"
output=$(PATH="$stub:$PATH" "$root/run.sh" --help 2>&1)
grep -q '\[ 42%\] Building CXX object stand-in.o' <<<"$output" || { echo "FAIL: no build progress shown:"; echo "$output"; exit 1; }
grep -q 'kelvane-sim' <<<"$output" || { echo "FAIL: the simulator did not run:"; echo "$output"; exit 1; }
echo "run.sh shows the build's progress"
