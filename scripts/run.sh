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
# A stand-in download server with version files at the running version and a small
# companion archive, so that start-up's update checks find nothing new.
version="$(sed -n 's/^project(Skylume VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
demo="$root/build/release/demo-downloads"
"$root/build/release/tools/dlserver/dlserver" --demo "$version" "$demo" > "$demo.log" 2>&1 < /dev/null &
dlserver_pid=$!
trap 'kill "$dlserver_pid" 2> /dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q ' at http://' "$demo.log" 2> /dev/null && break
  sleep 0.1
done
export SKLM_DOWNLOAD_SERVER="$(sed -n 's/.* at \(http:[^ ]*\)$/\1/p' "$demo.log")"
echo "Downloads come from the stand-in server at $SKLM_DOWNLOAD_SERVER (folder $demo)." >&2
"$root/build/release/skylume" "$@"
