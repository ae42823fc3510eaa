#!/usr/bin/env bash
# Installs what is needed, builds a release and starts Skylume in a program
# folder under the build folder, beside the stand-ins for the simulator and for
# RealTraffic playing recorded traffic. Ctrl+C (or closing the window) ends
# Skylume; the stand-ins are stopped with it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/release"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DSKLM_TESTS=OFF

# The program folder, as installed: docs/ and input/ beside the program.
program="$build/demo"
mkdir -p "$program/docs" "$program/input"
cp "$root/tests/data/shell/airports_msfs.xml" "$program/input/"
# The settings, a simulator installation (Steam layout) and RealTraffic's folder
# stay inside the demo, not in the user's home: the program finds "its" simulator
# and RealTraffic there.
export APPDATA="$program/appdata" LOCALAPPDATA="$program/localappdata"
packages="$APPDATA/Microsoft Flight Simulator/Packages"
mkdir -p "$LOCALAPPDATA" "$packages/Community" "$packages/Official/Steam" "$APPDATA/InsideSystems"
printf 'InstalledPackagesPath "%s"\n' "$packages" > "$APPDATA/Microsoft Flight Simulator/UserCfg.opt"
touch "$APPDATA/InsideSystems/RealTraffic.jar"
# An add-on airport for the start-up's airport scan.
mkdir -p "$packages/Community/demo-eham/scenery"
"$build/tools/bglwrite/bglwrite" "$root/tests/data/airports/demo_eham.json" "$packages/Community/demo-eham/scenery/eham.bgl"

pids=()
stop_standins() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop_standins EXIT

# A stand-in download server with version files at the running version and a
# small companion archive, so that start-up's update checks find nothing new.
version="$(sed -n 's/^project(Skylume VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
demo="$build/demo-downloads"
"$build/tools/dlserver/dlserver" --demo "$version" "$demo" > "$demo.log" 2>&1 < /dev/null &
pids+=($!)
for _ in $(seq 50); do
  grep -q ' at http://' "$demo.log" 2> /dev/null && break
  sleep 0.1
done
# The aircraft and airline data base the program fetches at every start.
mkdir -p "$demo/downloads"
rm -f "$demo/downloads/dbase.zip"
zip -q -j "$demo/downloads/dbase.zip" "$build/scrambled/temp2.xml"
export SKLM_DOWNLOAD_SERVER="$(sed -n 's/.* at \(http:[^ ]*\)$/\1/p' "$demo.log")"
echo "Downloads come from the stand-in server at $SKLM_DOWNLOAD_SERVER (folder $demo)." >&2

# The stand-in simulator reads commands ("help" lists them) from a named pipe
# that this script holds open: echo "flight off" > "$program/simstandin.in".
fifo="$program/simstandin.in"
rm -f "$fifo"
mkfifo "$fifo"
exec 3<>"$fifo"
"$build/tools/simstandin/simstandin" --scenario "$root/tests/data/simstandin/schiphol.json" \
  --trace "$program/simstandin-trace.jsonl" <"$fifo" >"$program/simstandin.log" 2>&1 &
pids+=($!)
"$build/tools/rtplayer/rtplayer" --now "$root/tests/data/rtplayer/arrival.replay" \
  > "$program/rtplayer.log" 2>&1 &
pids+=($!)

echo "Skylume runs in $program (Log.txt there); simstandin and rtplayer play beside it." >&2
echo "Simulator commands: echo 'help' > $fifo (answers in $program/simstandin.log)." >&2
echo "Stop it with Ctrl+C or the window's close button." >&2
if [[ -z "${DISPLAY:-}" ]]; then
  echo "No DISPLAY: Skylume runs with a headless window." >&2
  echo "To see the window without a desktop, see 'Developer notes' in README.md." >&2
fi
cd "$program"
status=0
"$build/skylume" "$@" || status=$?
exit "$status"
