#!/usr/bin/env bash
# Installs what is missing, builds, and runs the driver's demonstration on the
# built-in simulated LonWorks network.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$top/build}
"$top/scripts/build.sh" >/dev/null
exec "$top/scripts/demo.sh" "$@"
