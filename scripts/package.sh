#!/usr/bin/env bash
# Installs what is missing, builds the program in build/ and makes the Debian
# package build/fudousan_<version>_amd64.deb with CPack.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh" --package
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target fudousan fudousan_convert_jet fudousan_package_files -j "$(nproc)"
cd "$root/build"
cpack --config CPackConfig.cmake
