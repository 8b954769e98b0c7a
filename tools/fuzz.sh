#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang and runs each for a bounded time.
#   tools/fuzz.sh [seconds per target, default 600] [target ...]    (targets: scheme store save)
#   tools/fuzz.sh --build-only | --no-build [seconds] [target ...]  (what CTest runs)
# New inputs collect in $QM_FUZZ_BUILD/corpus-<target>, failing ones in artifacts-<target>/;
# a failing input, once fixed, belongs in fuzz/corpus/<target>/ as a regression case.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_FUZZ_BUILD:-$root/build/fuzz}
mode=all
case "${1:-}" in --build-only|--no-build) mode=$1; shift ;; esac
seconds=${1:-600}
(($#)) && shift
targets=("$@")
((${#targets[@]})) || targets=(scheme store save)

if [[ $mode != --no-build ]]; then
  cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" >/dev/null
  cmake --build "$build" -j "$(nproc)"
fi
[[ $mode == --build-only ]] && exit 0

limits=(-rss_limit_mb=2048 -timeout=10)
for target in "${targets[@]}"; do
  fuzzer=$build/fuzz_$target
  seeds=$root/fuzz/corpus/$target
  work=$build/corpus-$target
  artifacts=$build/artifacts-$target
  mkdir -p "$work" "$artifacts"
  # The shipped scheme and the damaged-store fixtures are seeds as they stand today, not as
  # copies that drift.
  extra=()
  [[ $target == store ]] && extra+=("$root/tests/fixtures/store/damaged")
  full=("$seeds"/*)
  [[ $target == scheme ]] && full+=("$root/resources/scheme.xml")
  [[ $target == store ]] && full+=("$root/tests/fixtures/store/damaged"/*)
  echo "fuzz: $target: every seed once at full length"
  "$fuzzer" "${limits[@]}" "${full[@]}"
  [[ $target == scheme ]] && cp "$root/resources/scheme.xml" "$work/shipped-scheme.xml"
  echo "fuzz: $target: fuzzing for $seconds s"
  # Progress lines are left out of the log; the fuzzer's own exit status decides.
  set +e
  "$fuzzer" "${limits[@]}" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -dict="$root/fuzz/$target.dict" -artifact_prefix="$artifacts/" "$work" "$seeds" "${extra[@]}" 2>&1 |
    grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)'
  status=${PIPESTATUS[0]}
  set -e
  ((status == 0)) || { echo "fuzz: $target: FAILED (input in $artifacts/)"; exit 1; }
done
