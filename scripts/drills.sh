#!/usr/bin/env bash
# Fault drills on the demo: a new flight loaded mid-run, the stand-in simulator
# killed and started again, the RealTraffic player killed and started again, then
# program starts against a download server that answers 404 or truncates the data
# archives. Prints, for each, what the simulator saw and the Log.txt lines the
# program wrote meanwhile; with Xvfb installed the window runs on a virtual display
# and a picture of it (message line included) is kept for each step in
# build/release/drills/shots/.
# Usage: drills.sh   (Release build in build/release, SKLM_BUILD to change)
source "$(dirname "${BASH_SOURCE[0]}")/standins.sh"
sk_isolate "$@"
sk_build_tools
sk_layout "$sk_build/drills"
replay="$sk_root/demo/lfbo_20191111_1000-1010.replay"
log="$sk_program/Log.txt"
shots="$sk_program/shots"
mkdir -p "$shots"
if command -v Xvfb > /dev/null; then
  Xvfb -displayfd 4 -screen 0 1400x600x24 -noreset -nolisten tcp 4> "$sk_program/xvfb-display" 2> /dev/null &
  xvfb=$!
  trap 'kill "$xvfb"' EXIT
  until [[ -s "$sk_program/xvfb-display" ]]; do sleep 0.1; done
  export SK_DISPLAY=":$(cat "$sk_program/xvfb-display")"
fi
snap() { [[ -z "${SK_DISPLAY:-}" ]] || DISPLAY="$SK_DISPLAY" import -window root -crop 880x516+400+20 +repage "$shots/$1.png" || true; }

# wait_for FILE PATTERN SECONDS: true once an extended regular expression matches a line of FILE.
wait_for() {
  for _ in $(seq "$(($3 * 10))"); do
    grep -qE "$2" "$1" 2> /dev/null && return 0
    sleep 0.1
  done
  return 1
}
mark() { mark_line="$(wc -l < "$log")"; }
log_since() { tail -n "+$((mark_line + 1))" "$log" | grep -vE "^[A-Za-z_0-9]+=|^\s*$" | sed "s/^/    | /"; }
count() { grep -cE "$1" "$2" || true; }
start_program() {
  mark_line=0
  sk_pid=
  (cd "$sk_program" && DISPLAY="${SK_DISPLAY:-}" exec "$sk_build/skylume") >> "$sk_program/skylume.out" 2>&1 &
  sk_pid=$!
}

sk_dlserver
sk_sim "$sk_root/demo/lfbo_sim.json"
sk_player --loop --now --qnh 1013 "$replay"
start_program
wait_for "$sk_trace" '"event":"create"' 180 || echo "no aircraft created within 3 minutes"
sleep 20
snap 0-running

echo "== 1. A new flight loaded mid-run"
mark
before="$(wc -l < "$sk_trace")"
sk_say load flights/drill.FLT
sleep 5
snap 1-flight-loaded
for _ in $(seq 180); do
  tail -n "+$((before + 1))" "$sk_trace" | grep -q '"event":"create"' && break
  sleep 1
done
sleep 10
snap 1-new-run
old="$(head -n "$before" "$sk_trace" | sk_trace=/dev/stdin sk_left_objects | sort)"
removed="$(tail -n "+$((before + 1))" "$sk_trace" | grep -oE '"event":"remove","id":[0-9]+' | grep -oE '[0-9]+$' | sort)"
echo "objects present at the load: $(echo "$old" | grep -c . || true)," \
  "of them left after it: $(comm -23 <(echo "$old") <(echo "$removed") | grep -c . || true);" \
  "created since: $(tail -n "+$((before + 1))" "$sk_trace" | count '"event":"create"' -)"
log_since

echo "== 2. The simulator killed and started again"
mark
kill -KILL "$sk_sim_pid"
wait "$sk_sim_pid" 2> /dev/null || true
sleep 5
snap 2-simulator-gone
sk_sim "$sk_root/demo/lfbo_sim.json"
# A closed simulator ends the program; the user starts it again.
for _ in $(seq 300); do kill -0 "$sk_pid" 2> /dev/null || break; sleep 0.1; done
if kill -0 "$sk_pid" 2> /dev/null; then
  echo "Skylume still runs"
else
  status=0
  wait "$sk_pid" || status=$?
  echo "Skylume ended with status $status"
  log_since
  start_program
fi
wait_for "$sk_trace" '"event":"create"' 180 && echo "aircraft created in the new simulator" ||
  echo "no aircraft created in the new simulator within 3 minutes"
sleep 10
snap 2-simulator-back
log_since | grep -E '===>|connected|RealTraffic|MSFS' || true

echo "== 3. The player killed and started again"
mark
kill "$sk_player_pid"
sleep 40
snap 3-player-gone
echo "-- player started again"
sk_player --loop --now --qnh 1013 "$replay"
sleep 40
snap 3-player-back
log_since
kill -0 "$sk_pid" 2> /dev/null && echo "Skylume still runs" || echo "Skylume ended"

echo "== Close"
status=0
sk_close || status=$?
echo "exit status $status; objects left in the last simulator: $(sk_left_objects | wc -l)"
sk_stop

# The program's own files must come through a failed start: present, not emptied.
files=(appdata/Skylume/parameters.xml airports/my_park_airports.txt airports/my_thirdparty/LFBO.xml
  output/LiveriesScanned.xml)
lost() { (cd "$sk_program" && for f in "${files[@]}"; do [[ -s "$f" ]] || echo "$f"; done); }
drill=4
for fault in /downloads/dbase.zip=404 /downloads/AIG-regcodes.zip=404 /downloads/release/version.json=404 \
  /downloads/dbase.zip=300 /downloads/AIG-regcodes.zip=300; do
  option=--status
  [[ "$fault" == *=404 ]] || option=--truncate
  echo "== $drill. Start with dlserver $option $fault"
  sk_dlserver "$option" "$fault"
  sk_sim "$sk_root/demo/lfbo_sim.json"
  sk_player --loop --now --qnh 1013 "$replay"
  old_head="$(head -n 1 "$log" 2> /dev/null || true)"
  start_program
  # Until this start's log (its first line differs) shows an error or the traffic reader.
  for _ in $(seq 600); do
    kill -0 "$sk_pid" 2> /dev/null || break
    [[ "$(head -n 1 "$log" 2> /dev/null || true)" != "$old_head" ]] && grep -qE '^Error |Traffic Reader connected' "$log" && break
    sleep 0.1
  done
  sleep 1
  snap "$drill-${fault//\//_}"
  # A start that fails ends by itself a few seconds after its error.
  for _ in $(seq 200); do kill -0 "$sk_pid" 2> /dev/null || break; sleep 0.1; done
  status=0
  if kill -0 "$sk_pid" 2> /dev/null; then
    sk_close || status=$?
    echo "Skylume ran on (reader connected); closed, status $status"
  else
    wait "$sk_pid" || status=$?
    echo "Skylume ended by itself, status $status"
  fi
  echo "files lost or emptied: $(lost | tr '\n' ' ')"
  grep -vE '^[A-Za-z_0-9]+=' "$log" | grep -iE 'download|error|data base|regcode|version|not read|fail|exiting' |
    sed 's/^/    | /'
  sk_stop
  drill=$((drill + 1))
done
