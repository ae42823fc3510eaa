#!/usr/bin/env bash
# Installs what is needed, builds a release and starts Skylume in a program
# folder under the build folder, beside the stand-ins for the simulator and for
# RealTraffic playing recorded traffic. Ctrl+C (or closing the window) ends
# Skylume; the stand-ins are stopped with it. Every 30 s a line tells what the
# simulator holds; at the end come the table of what the run showed and its map.
# With --windows the program is skylume.exe of the Windows build under Wine, in
# a program folder of its own beside the same stand-ins.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/release"

usage() {
  cat << 'EOF'
usage: bash scripts/run.sh [--world lfbo|essa] [--every-frame] [--picture FILE.png] [--windows]
  --world lfbo    Toulouse-Blagnac, its traffic mostly airborne, parked aircraft at its stands (the default)
  --world essa    Stockholm-Arlanda, its traffic mostly on the ground
  --every-frame   the simulator's trace keeps every position set (90 MB an hour) instead of
                  one a second per aircraft
  --picture FILE  a picture of the window once it shows its counts (on a virtual display
                  when there is no DISPLAY); then the program is closed as by its close button
  --windows       skylume.exe (scripts/build-windows.sh builds build/windows/ when it is not
                  there) under Wine, in build/release/demo-windows/ (demo-windows-essa/)
EOF
}
world=lfbo
trace_rate=(--trace-rate 1)
picture=""
windows=""
while (($#)); do
  case "$1" in
    --world)
      [[ $# -ge 2 && "$2" =~ ^(lfbo|essa)$ ]] || { usage >&2; exit 2; }
      world="$2"
      shift 2
      ;;
    --every-frame) trace_rate=(); shift ;;
    --windows) windows="$root/build/windows"; shift ;;
    --picture)
      [[ $# -ge 2 && -n "$2" ]] || { usage >&2; exit 2; }
      picture="$(realpath -m "$2")"
      shift 2
      ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DSKLM_TESTS=OFF

# The demo: a program folder under the build folder holding a simulator installation
# (Steam layout) with the FSLTL AI package and the world's add-on airport, RealTraffic's
# folder and the data the download server serves; the program finds "its" simulator and
# RealTraffic there, not in the user's home.
# Each world has a folder of its own: the program scans the add-on airports once and then
# keeps what it found in its settings.
program="$build/demo${windows:+-windows}"
[[ "$world" == lfbo ]] || program="$program-$world"
bash "$root/scripts/demo.sh" "$build" "$program" "$world"
export APPDATA="$program/appdata" LOCALAPPDATA="$program/localappdata"
if [[ -n "$windows" ]]; then
  if [[ -f "$windows/build.ninja" ]]; then
    cmake --build "$windows" --target skylume simconnect-standin closewindow
  else
    bash "$root/scripts/build-windows.sh" "$windows"
  fi
fi

pids=()
stop_standins() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
}
trap stop_standins EXIT

# Under Wine the user's folders come from the prefix's registry, not from the
# environment: the demo has a prefix of its own (made on its first run), whose
# folders are the program folder's, and a wineserver of its own, ended with it;
# the tree's prefix, and a Windows test running in it, are left alone.
# The simulator installation names its packages' folder as Windows does.
close_skylume() { kill -TERM "$(cat "$program/skylume.pid")" 2> /dev/null || true; }
if [[ -n "$windows" ]]; then
  export WINEPREFIX="$build/wine-demo"
  source "$root/scripts/wine.sh"
  end_wine() {
    stop_standins
    sk_wine_stop
  }
  trap end_wine EXIT
  close_skylume() { wine "$windows/tools/closewindow/closewindow.exe" Skylume 5 < /dev/null || true; }
  printf 'InstalledPackagesPath "%s"\r\n' "$(sk_wine_path "$APPDATA/Microsoft Flight Simulator/Packages")" \
    > "$APPDATA/Microsoft Flight Simulator/UserCfg.opt"
fi

if [[ -n "$picture" && -z "${DISPLAY:-}" ]]; then
  # A virtual display: Xvfb names it on the descriptor once it accepts connections.
  rm -f "$program/xvfb-display"
  Xvfb -displayfd 4 -screen 0 1400x600x24 -noreset -nolisten tcp 4> "$program/xvfb-display" 2> /dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    [[ -s "$program/xvfb-display" ]] && break
    sleep 0.1
  done
  [[ -s "$program/xvfb-display" ]] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(cat "$program/xvfb-display")"
elif [[ -n "$windows" && -z "${DISPLAY:-}" ]]; then
  # Under Wine a session begun without a display gives the program's window no
  # driver at all and its start fails: the window goes to a display nobody sees.
  sk_wine_display
  pids+=("$sk_wine_xvfb")
  unseen_display=1
fi
if [[ -n "$windows" ]]; then
  # Wine's desktop keeps the display of the session's first program: a session of its own.
  sk_wine_stop
  sk_wine_start
  sk_wine_folders "$APPDATA" "$LOCALAPPDATA"
fi

# A stand-in download server with version files at the running version, a small
# companion archive and the data archives the program fetches at every start.
version="$(sed -n 's/^project(Skylume VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
served="$program/served"
rm -rf "$served" "$program/dlserver.log"
"$build/tools/dlserver/dlserver" --demo "$version" --zip dbase.zip="$program/data/temp2.xml" \
  --zip AIG-regcodes.zip="$program/data/AIG-regcodes.xml" "$served" > "$program/dlserver.log" 2>&1 < /dev/null &
pids+=($!)
for _ in $(seq 300); do
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
# The user aircraft stands at the world's airport; the real traffic around it plays over
# and over. The trace keeps one position a second of each aircraft unless --every-frame.
trace="$program/simstandin-trace.jsonl"
replay="$(ls "$root/demo/${world}"_*.replay)"
scenario="$root/demo/${world}_sim.json"
"$build/tools/simstandin/simstandin" --scenario "$scenario" --trace "$trace" "${trace_rate[@]}" \
  <"$fifo" >"$program/simstandin.log" 2>&1 &
sim=$!
pids+=($sim)
played_from=$EPOCHREALTIME
"$build/tools/rtplayer/rtplayer" --loop --now --qnh 1013 "$replay" > "$program/rtplayer.log" 2>&1 &
pids+=($!)

# One line every 30 s from the trace and Log.txt. A trap, so that its sleep ends with it.
report="$build/tools/runreport/runreport"
rm -f "$program/status.mark"
(
  trap 'kill $nap 2> /dev/null; exit 0' TERM
  while :; do
    sleep 30 &
    nap=$!
    wait $nap
    line="$("$report" status "$trace" "$program/Log.txt" --mark "$program/status.mark")" &&
      echo "$(date +%T) $line" >&2
  done
) &
pids+=($!)

if [[ -n "$picture" ]]; then
  # The picture once the window can show counts: a live aircraft is in the simulator and
  # the window has had two seconds to paint it (an all-black picture is taken again).
  (
    trap 'kill $nap 2> /dev/null; exit 0' TERM
    for _ in $(seq 120); do
      grep -q '"event":"create".*"tail":"[^"]*[^*"]"' "$trace" 2> /dev/null && break
      sleep 1 & nap=$!; wait $nap
    done
    sleep 2 & nap=$!; wait $nap
    xy="$(sed -n 's/.*MAIN_WINDOW_\([XY]\)" value="\(-\?[0-9]*\)".*/\2/p' "$APPDATA/Skylume/parameters.xml" 2> /dev/null |
      tr '\n' ' ')"
    read -r x y <<< "${xy:-400 20}"
    for _ in $(seq 50); do
      import -window root -crop "880x516+${x:-400}+${y:-20}" +repage "$picture" 2> /dev/null &&
        [[ "$(convert "$picture" -format '%[fx:mean>0]' info:)" == 1 ]] && break
      sleep 0.2 & nap=$!; wait $nap
    done
    echo "The window: $picture. Closing Skylume as its close button does." >&2
    close_skylume
  ) &
  pids+=($!)
fi

echo "Skylume runs in $program beside simstandin and rtplayer playing $(basename "$replay")." >&2
echo "Its log: $program/Log.txt (follow it with: tail -f '$program/Log.txt')." >&2
echo "Simulator commands: echo 'help' > $fifo (answers in $program/simstandin.log)." >&2
if [[ -n "$picture" ]]; then
  echo "The window is on display $DISPLAY; its picture is taken once it shows aircraft." >&2
elif [[ -n "${unseen_display:-}" ]]; then
  echo "No DISPLAY: Skylume's window is on the virtual display $DISPLAY, which nobody sees. Stop it with Ctrl+C." >&2
  echo "A picture of the window: bash scripts/run.sh --windows --picture FILE.png" >&2
elif [[ -z "${DISPLAY:-}" ]]; then
  echo "No DISPLAY: Skylume runs without a window. Stop it with Ctrl+C." >&2
  echo "A picture of the window without a desktop: bash scripts/run.sh --picture FILE.png" >&2
else
  echo "Stop it with Ctrl+C or the window's close button." >&2
fi
cd "$program"
status=0
# Started through sh so that the picture taker knows its process id.
rm -f "$program/skylume.pid"
if [[ -n "$windows" ]]; then
  # In a session of its own, so that Ctrl+C here closes it through its window.
  SKLM_SIMCONNECT_DLL="$(sk_wine_path "$windows/simconnect-standin.dll")" \
    setsid wine "$windows/skylume.exe" < /dev/null &
  skylume=$!
  trap close_skylume INT
  while :; do
    if wait "$skylume"; then status=0; break; else status=$?; fi
    kill -0 "$skylume" 2> /dev/null || break
  done
  trap - INT
else
  sh -c 'echo $$ > "$1" && exec "$2"' sh "$program/skylume.pid" "$build/skylume" || status=$?
fi
played=$(awk -v a="$played_from" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
# Skylume has removed its aircraft: the simulator ends on "exit", its trace complete.
echo exit >&3
wait "$sim" 2>/dev/null || true
stop_standins

line="$("$report" status "$trace" "$program/Log.txt" --mark "$program/status.mark")" && echo "$(date +%T) $line" >&2
echo "What this run showed (runreport table):" >&2
"$report" table "$trace" "$program/Log.txt" >&2 || true
map="$program/simstandin-trace.svg"
if "$build/tools/tracemap/tracemap" "$trace" --feed "$replay" --played "$played" \
  --stands "$root/demo/${world}_airport.json" --scenario "$scenario" -o "$map"; then
  echo "The map of this run (the simulator's trace over the reports sent): $map" >&2
  if rsvg-convert -o "${map%.svg}.png" "$map"; then
    echo "                                                          and as a picture: ${map%.svg}.png" >&2
  fi
fi
case "$status" in
  0) ;;
  1) echo "Skylume failed (status 1): a failure ended the run or stopped its start; the last lines of $program/Log.txt say which." >&2 ;;
  2) echo "Skylume ended with status 2: the simulator was closed (\"SIM WAS CLOSED\" in Log.txt)." >&2 ;;
  255) echo "Skylume ended with status 255: another Skylume runs already; this one started nothing." >&2 ;;
  *)
    if ((status > 128)); then
      echo "Skylume was ended by signal $((status - 128)) (see the end of $program/Log.txt)." >&2
    else
      echo "Skylume ended with status $status (see the end of $program/Log.txt)." >&2
    fi
    ;;
esac
exit "$status"
