#!/usr/bin/env bash
# Builds the Windows tree (build/win) and the native tree (build/native).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
cmake -S "$root" -B "$root/build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/win" -j "$jobs"
if [[ "${1:-}" != "--win-only" ]]; then
  cmake -S "$root" -B "$root/build/native" -DQM_WIN_BUILD_DIR="$root/build/win" >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
