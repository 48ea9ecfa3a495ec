#!/usr/bin/env bash
# Builds the release (no tests, no benchmarks) and the Debian package in build-package/.
#   BUILD_DIR=<folder>   build folder (default: build-package)
#   JOBS=<n>             parallel build jobs (default: number of cores)
# The .deb lands in the build folder; its path is printed last.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$top/build-package}
case "$build_dir" in /*) ;; *) build_dir=$top/$build_dir ;; esac

"$top/scripts/bootstrap.sh"

cmake -S "$top" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLW_BUILD_TESTS=OFF -DLW_BUILD_BENCH=OFF -DLW_SANITIZE=OFF >/dev/null
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}"
rm -f "$build_dir"/lonworks-driver_*.deb
(cd "$build_dir" && cpack -G DEB)
ls "$build_dir"/lonworks-driver_*.deb
