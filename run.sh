#!/usr/bin/env bash
# The product's main job: builds the model kit (every library of both bitnesses) into build/*/kit.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/tools/setup/build-all.sh"
echo "Kelvane kit built:"
ls -1 "$root"/build/x64/kit/* "$root"/build/x86/kit/*
