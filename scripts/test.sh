#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; ends with CTest's summary.
#   BUILD_DIR, LW_SANITIZE, JOBS as for scripts/build.sh
#   CTEST_ARGS=...       extra arguments for ctest (for instance -R strlib)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$top/build}
case "$build_dir" in /*) ;; *) build_dir=$top/$build_dir ;; esac
export BUILD_DIR=$build_dir

"$top/scripts/build.sh"
cd "$build_dir"
ctest --output-on-failure -j "${CTEST_JOBS:-2}" ${CTEST_ARGS:-}
