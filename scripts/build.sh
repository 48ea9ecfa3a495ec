#!/usr/bin/env bash
# Configures and builds the project.
#   BUILD_DIR=<folder>   build folder (default: build)
#   LW_SANITIZE=ON       AddressSanitizer + UndefinedBehaviorSanitizer build
#   JOBS=<n>             parallel build jobs (default: number of cores)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$top/build}
case "$build_dir" in /*) ;; *) build_dir=$top/$build_dir ;; esac

"$top/scripts/bootstrap.sh"

cmake -S "$top" -B "$build_dir" -G Ninja \
  -DLW_SANITIZE="${LW_SANITIZE:-OFF}" ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}"
