#!/usr/bin/env bash
# Builds everything and runs every test, native and under Wine, through CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh"
source "$root/tools/xvfb.sh"
cd "$root/build/native"
ctest --output-on-failure -j "$(nproc)" --timeout 900 "$@"
