#!/usr/bin/env bash
# The benchmark: builds optimised native and Windows trees under build/bench, runs the
# native phases (Google Benchmark) and the Wine phases (bench/wine_bench.cpp) in a
# throw-away Wine prefix created afresh, and prints one table of times and ratios.
# Usage: tools/bench.sh [runs]   (runs of each Wine phase, default 15)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/bench"
runs=${1:-15}
jobs=$(nproc)
"$root/tools/setup.sh"

cmake -S "$root" -B "$out/native" -DCMAKE_BUILD_TYPE=Release -DQM_SANITIZE=OFF >/dev/null
cmake --build "$out/native" -j "$jobs" --target native_bench
# Linked as tools/package.sh links the shipped exe: sections aligned to pages in the file,
# which Wine maps instead of reading the whole file at each start.
cmake -S "$root" -B "$out/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-Wl,--file-alignment=4096 >/dev/null
cmake --build "$out/win" -j "$jobs" --target wine_bench trivial_win32 probe_win32 quillmark

# The programs run from a folder of their own: quillmark.exe writes its files beside itself.
rm -rf "$out/run" "$out/wineprefix"
mkdir -p "$out/run"
cp "$out/win/quillmark.exe" "$out/win/bench/wine_bench.exe" "$out/win/bench/trivial_win32.exe" \
   "$out/win/bench/probe_win32.exe" "$out/run/"

echo "bench: native phases" >&2
"$out/native/bench/native_bench" --benchmark_out="$out/native.json" --benchmark_out_format=json >&2

echo "bench: Wine phases ($runs runs each)" >&2
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/tools/wine-prefix.sh" init
source "$root/tools/xvfb.sh"
trap '"$root/tools/wine-prefix.sh" stop; [[ -n "${QM_XVFB_PID:-}" ]] && kill "$QM_XVFB_PID" 2>/dev/null || true' EXIT
QM_EXE="$out/run/quillmark.exe" QM_SOURCE_DIR="$root" wine "$out/run/wine_bench.exe" --runs "$runs" \
  | tr -d '\r' >"$out/wine.tsv"

echo
echo "$(date -u +%Y-%m-%d), $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(wine --version 2>/dev/null)"
echo
python3 "$root/bench/report.py" "$out/native.json" "$out/wine.tsv"
