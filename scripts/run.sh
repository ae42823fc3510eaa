#!/usr/bin/env bash
# Installs what is needed, builds a release and starts Skylume.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DSKLM_TESTS=OFF
exec "$root/build/release/skylume" "$@"
