#!/usr/bin/env bash
# Builds the micro-benchmarks (Release, own build folder) and runs each program.
#   scripts/bench.sh [benchmark program ...]      (default: every bench_* program)
#   BUILD_DIR=<folder>     build folder (default: build-bench)
#   JOBS=<n>               parallel build jobs (default: 2)
#   MIN_TIME=<seconds>     --benchmark_min_time per benchmark (default: 0.5)
#   BENCH_ARGS=...         extra Google Benchmark options (for instance --benchmark_filter=Decode)
# Results are printed and also written as JSON to <build folder>/bench-results/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$top/build-bench}
case "$build_dir" in /*) ;; *) build_dir=$top/$build_dir ;; esac

"$top/scripts/bootstrap.sh"

cmake -S "$top" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLW_BUILD_TESTS=OFF -DLW_BUILD_BENCH=ON ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j "${JOBS:-2}" --target lw_benchmarks

programs=("$@")
if [ ${#programs[@]} -eq 0 ]; then
  for exe in "$build_dir"/bin/bench_*; do
    programs+=("$(basename "$exe")")
  done
fi

results=$build_dir/bench-results
mkdir -p "$results"
for program in "${programs[@]}"; do
  echo "== $program"
  "$build_dir/bin/$program" --benchmark_min_time="${MIN_TIME:-0.5}" \
    --benchmark_out="$results/$program.json" --benchmark_out_format=json ${BENCH_ARGS:-}
done
