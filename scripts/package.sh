#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian: no errors, no warnings.
#   scripts/package.sh               build (no tests, no benchmarks) in build-package/
#   scripts/package.sh --from DIR    package the build in DIR as it is (CI: the tested build/)
#   scripts/package.sh --test        then install the package into a fresh Debian 12 root and
#                                    use it there (tests/packaging/install-test.sh: root and
#                                    Debian's mirror needed)
#   BUILD_DIR=<folder>   build folder without --from (default: build-package)
#   JOBS=<n>             parallel build jobs (default: number of cores)
# The build has the flags of the normal build (RelWithDebInfo, Debian's hardening); the
# package holds the programs stripped. The .deb lands in the build folder; its path is
# printed last.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$top/build-package}
from=
run_test=
while (($#)); do
  case $1 in
    --from) from=$2; shift 2 ;;
    --test) run_test=1; shift ;;
    *) echo "usage: $0 [--from BUILD_DIR] [--test]" >&2; exit 64 ;;
  esac
done
if [[ $from ]]; then
  build_dir=$from
fi
case "$build_dir" in /*) ;; *) build_dir=$top/$build_dir ;; esac

packaging=(lintian)
if [[ $run_test ]]; then
  packaging+=(debootstrap)
fi
"$top/scripts/bootstrap.sh" "${packaging[@]}"

if [[ $from ]]; then
  [[ -f $build_dir/CPackConfig.cmake ]] || { echo "$build_dir is not a configured build" >&2; exit 1; }
else
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$top" -B "$build_dir" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLW_BUILD_TESTS=OFF -DLW_BUILD_BENCH=OFF -DLW_SANITIZE=OFF >/dev/null
fi
# With --from this only checks that the build is whole (the manual pages included).
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}"
rm -f "$build_dir"/lonworks-driver_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/lonworks-driver_*.deb)

echo "lintian $deb"
lintian --display-info --fail-on error,warning "$deb"
echo "lintian: no errors, no warnings"

if [[ $run_test ]]; then
  "$top/tests/packaging/install-test.sh" "$deb"
fi
echo "$deb"
