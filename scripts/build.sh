#!/usr/bin/env bash
# Configures and builds the project.
#   BUILD_DIR=<folder>   build folder (default: build)
#   LW_SANITIZE=ON       AddressSanitizer + UndefinedBehaviorSanitizer build
#   JOBS=<n>             parallel build jobs (default: number of cores)
#   LW_TARGETS="a b"     build only these targets (and what they need); default: everything
# ccache is used when it is installed (rebuilds of several checkouts share their objects).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$top/build}
case "$build_dir" in /*) ;; *) build_dir=$top/$build_dir ;; esac

"$top/scripts/bootstrap.sh"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "build: configuring $build_dir"
cmake -S "$top" -B "$build_dir" -G Ninja "${launcher[@]}" \
  -DLW_SANITIZE="${LW_SANITIZE:-OFF}" ${CMAKE_ARGS:-} >/dev/null
targets=()
for target in ${LW_TARGETS:-}; do
  targets+=(--target "$target")
done
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}" "${targets[@]}"
