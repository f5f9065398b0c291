#!/usr/bin/env bash
# Installs what is missing, builds, places a prepared empty Fudousan.mdb beside
# the executable when none is there (an existing one is never touched), and
# starts the application.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
"$root/build/bin/make_empty_database" "$root/build/bin"
exec "$root/build/bin/fudousan"
