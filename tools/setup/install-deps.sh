#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, when they are missing and we are root.
set -euo pipefail
packages=(g++ g++-multilib cmake make qemu-user binutils clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libfftw3-dev libpng-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing Debian packages: ${missing[*]} (run as root, or install them yourself)" >&2
  exit 1
fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
