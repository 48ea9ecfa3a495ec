#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, own build folder) and runs each for a while with
# its seed corpus; exits non-zero when any target finds a crash, leak or sanitizer report.
#   scripts/fuzz.sh [seconds per target, default 30] [target ...]   (names without fuzz_)
#   BUILD_DIR=<folder>   build folder (default: build-fuzz)
#   JOBS=<n>             parallel build jobs (default: 2)
#   FUZZ_ARGS=...        extra libFuzzer options
# New inputs found during a run stay in the build folder's work corpus; crash inputs are
# copied to fuzz/crashes/<target>/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
build_dir=${BUILD_DIR:-$top/build-fuzz}
case "$build_dir" in /*) ;; *) build_dir=$top/$build_dir ;; esac

"$top/scripts/bootstrap.sh"

cmake -S "$top" -B "$build_dir" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DLW_BUILD_FUZZ=ON -DLW_BUILD_TESTS=OFF -DLW_BUILD_BENCH=OFF ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j "${JOBS:-2}" --target lw_fuzzers

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build_dir"/bin/fuzz_*; do
    targets+=("$(basename "$exe" | sed 's/^fuzz_//')")
  done
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen

failed=()
for target in "${targets[@]}"; do
  exe=$build_dir/bin/fuzz_$target
  seeds=$top/fuzz/corpus/$target
  work=$build_dir/corpus/$target
  artifacts=$build_dir/artifacts/$target
  rm -rf "$artifacts"
  mkdir -p "$work" "$artifacts"
  echo "== fuzz_$target for ${seconds}s"
  set +e
  # Work corpus first: new inputs go there, the committed seeds stay as they are.
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" ${FUZZ_ARGS:-} "$work" "$seeds" >"$build_dir/fuzz_$target.log" 2>&1
  status=$?
  set -e
  grep -E "^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ +DONE)" \
    "$build_dir/fuzz_$target.log" || true
  if [ $status -ne 0 ]; then
    echo "fuzz_$target FAILED (exit $status); log: $build_dir/fuzz_$target.log"
    grep -E -m 20 "ERROR:|runtime error:|invariant failed|#[0-9]+ 0x" "$build_dir/fuzz_$target.log" || true
    mkdir -p "$top/fuzz/crashes/$target"
    cp -f "$artifacts"/* "$top/fuzz/crashes/$target/" 2>/dev/null || true
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "crashes in: ${failed[*]} (inputs under fuzz/crashes/)"
  exit 1
fi
echo "no crash in: ${targets[*]}"
