#!/usr/bin/env bash
# Installs what is needed, builds a release and starts Skylume.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DSKLM_TESTS=OFF
if [[ -z "${DISPLAY:-}" ]]; then
  echo "No DISPLAY: Skylume runs with a headless window (stop it with Ctrl+C)." >&2
  echo "To see the window without a desktop, see 'Developer notes' in README.md." >&2
fi
exec "$root/build/release/skylume" "$@"
