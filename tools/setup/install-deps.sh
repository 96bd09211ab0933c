#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, when they are missing and we are root, and the
# decimal-comma locale that the parameter parser is tested under. mingw-w64 cross-builds the Windows DLLs;
# wine64 runs them in the tests; GNU parallel runs a sweep's job file in the tests.
set -euo pipefail
packages=(g++ g++-multilib cmake make qemu-user binutils clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libfftw3-dev libpng-dev locales
          g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 parallel)
# python3-mpmath: the portable maths' table generator, rerun by its regeneration test.
packages+=(python3-mpmath)
# chromium: the reports are checked in a headless browser (the check is skipped without it).
packages+=(chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm installs the reports' charting library at build time (tools/plotly); any install of it will do.
command -v npm >/dev/null 2>&1 || missing+=(npm)
root=no
[ "$(id -u)" -eq 0 ] && root=yes
if [ ${#missing[@]} -gt 0 ]; then
  if [ $root = no ]; then
    echo "missing Debian packages: ${missing[*]} (run as root, or install them yourself)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# Without it the locale test is skipped, not failed.
if [ $root = yes ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || echo "note: could not generate de_DE.UTF-8" >&2
fi
