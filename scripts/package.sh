#!/usr/bin/env bash
# Makes the Debian package BUILD_DIR/fudousan_<version>_amd64.deb with CPack:
# installs what is missing (unless FUDOUSAN_NO_DEPS=1), configures the
# project in BUILD_DIR (build/ by default) and builds target fudousan_package,
# which holds everything the package installs; CPack itself builds nothing.
#
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
[[ "${FUDOUSAN_NO_DEPS:-}" == 1 ]] || bash "$root/scripts/install-deps.sh" --package
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fudousan_package -j "$(nproc)"
cd "$build"
cpack --config CPackConfig.cmake
