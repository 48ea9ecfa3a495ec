#!/usr/bin/env bash
# Installs what is missing, builds what the demonstration uses (the driver, its library,
# lonctl and the gateway: the tests and benchmarks are left to scripts/test.sh and
# scripts/build.sh), and runs the driver's demonstration on the built-in simulated
# LonWorks network. The build's progress is shown as it goes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$top/build}
echo "== Building the driver, libldv32.so, lonctl and lonworks-gateway in $BUILD_DIR"
LW_TARGETS="lonworks-driver ldv32 lonctl lonworks-gateway" "$top/scripts/build.sh"
exec "$top/scripts/demo.sh" "$@"
