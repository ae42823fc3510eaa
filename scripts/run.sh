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

# The demo: a program folder under the build folder holding a simulator installation
# (Steam layout) with the FSLTL AI package and an add-on LFBO, RealTraffic's folder
# and the data the download server serves; the program finds "its" simulator and
# RealTraffic there, not in the user's home.
program="$build/demo"
bash "$root/scripts/demo.sh" "$build" "$program"
export APPDATA="$program/appdata" LOCALAPPDATA="$program/localappdata"

pids=()
stop_standins() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop_standins EXIT

# A stand-in download server with version files at the running version, a small
# companion archive and the data archives the program fetches at every start.
version="$(sed -n 's/^project(Skylume VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
served="$program/served"
rm -rf "$served"
"$build/tools/dlserver/dlserver" --demo "$version" --zip dbase.zip="$program/data/temp2.xml" \
  --zip AIG-regcodes.zip="$program/data/AIG-regcodes.xml" "$served" > "$program/dlserver.log" 2>&1 < /dev/null &
pids+=($!)
for _ in $(seq 50); do
  grep -q ' at http://' "$program/dlserver.log" 2> /dev/null && break
  sleep 0.1
done
export SKLM_DOWNLOAD_SERVER="$(sed -n 's/.* at \(http:[^ ]*\)$/\1/p' "$program/dlserver.log")"
[[ -n "$SKLM_DOWNLOAD_SERVER" ]] || { cat "$program/dlserver.log" >&2; exit 1; }
echo "Downloads come from the stand-in server at $SKLM_DOWNLOAD_SERVER (folder $served)." >&2

# The stand-in simulator reads commands ("help" lists them) from a named pipe
# that this script holds open: echo "flight off" > "$program/simstandin.in".
fifo="$program/simstandin.in"
rm -f "$fifo"
mkfifo "$fifo"
exec 3<>"$fifo"
# The user aircraft stands at LFBO; the real traffic around it plays over and over.
trace="$program/simstandin-trace.jsonl"
replay="$root/demo/lfbo_20191111_1000-1010.replay"
"$build/tools/simstandin/simstandin" --scenario "$root/demo/lfbo_sim.json" \
  --trace "$trace" <"$fifo" >"$program/simstandin.log" 2>&1 &
sim=$!
pids+=($sim)
"$build/tools/rtplayer/rtplayer" --loop --now --qnh 1013 "$replay" > "$program/rtplayer.log" 2>&1 &
pids+=($!)

echo "Skylume runs in $program (Log.txt there); simstandin and rtplayer play beside it." >&2
echo "Simulator commands: echo 'help' > $fifo (answers in $program/simstandin.log)." >&2
if [[ -z "${DISPLAY:-}" ]]; then
  echo "No DISPLAY: Skylume runs without a window. Stop it with Ctrl+C." >&2
  echo "To see the window without a desktop, see 'Developer notes' in README.md." >&2
else
  echo "Stop it with Ctrl+C or the window's close button." >&2
fi
cd "$program"
status=0
"$build/skylume" "$@" || status=$?
# Skylume has removed its aircraft: the simulator ends on "exit", its trace complete.
echo exit >&3
wait "$sim" 2>/dev/null || true
stop_standins
map="$program/simstandin-trace.svg"
if "$build/tools/tracemap/tracemap" "$trace" --feed "$replay" -o "$map"; then
  echo "The map of this run (the simulator's trace over the reported tracks): $map" >&2
fi
exit "$status"
