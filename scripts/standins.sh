# Sourced by the load, soak and drill scripts: lays out a program folder with the
# demo, starts the stand-ins and Skylume in the background as run.sh does, samples
# the program and stops everything it started. Fixed ports meet nothing else:
# sk_isolate runs the calling script again in a network namespace of its own.
set -euo pipefail
sk_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sk_build="${SKLM_BUILD:-$sk_root/build/release}"
sk_pids=()

# Runs the calling script in a new network namespace (loopback up) unless it is already
# in one, after installing what is needed (unshare and ip among it). A user other than
# root gets the namespace inside a user namespace of their own (unshare -r), as root there.
sk_isolate() {
  [[ -n "${SK_ISOLATED:-}" ]] && return 0
  bash "$sk_root/scripts/install-deps.sh"
  local user=()
  [[ $(id -u) -eq 0 ]] || user=(-r)
  exec unshare "${user[@]}" -n -- env SK_ISOLATED=1 bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
}

# Builds the program and the stand-ins (a Release tree without tests when none is there yet).
sk_build_tools() {
  [[ -f "$sk_build/build.ninja" ]] ||
    cmake -S "$sk_root" -B "$sk_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKLM_TESTS=OFF > /dev/null
  cmake --build "$sk_build" --target skylume simstandin rtplayer dlserver bglwrite scramble > /dev/null
}

# sk_layout PROGRAM: the demo's program folder; the program's own files start afresh.
sk_layout() {
  sk_program="$1"
  rm -rf "$sk_program"
  bash "$sk_root/scripts/demo.sh" "$sk_build" "$sk_program" > /dev/null
  export APPDATA="$sk_program/appdata" LOCALAPPDATA="$sk_program/localappdata"
}

sk_version() { sed -n 's/^project(Skylume VERSION \([0-9.]*\).*/\1/p' "$sk_root/CMakeLists.txt"; }

# sk_dlserver [dlserver options]: serves the demo downloads; sets SKLM_DOWNLOAD_SERVER.
sk_dlserver() {
  local served="$sk_program/served" log="$sk_program/dlserver.log"
  # Removed first: the started server's shell truncates it only later.
  rm -rf "$served" "$log"
  "$sk_build/tools/dlserver/dlserver" --demo "$(sk_version)" --zip dbase.zip="$sk_program/data/temp2.xml" \
    --zip AIG-regcodes.zip="$sk_program/data/AIG-regcodes.xml" "$@" "$served" > "$log" 2>&1 < /dev/null &
  sk_dl_pid=$!
  sk_pids+=("$sk_dl_pid")
  for _ in $(seq 300); do
    grep -q ' at http://' "$log" 2> /dev/null && break
    sleep 0.1
  done
  SKLM_DOWNLOAD_SERVER="$(sed -n 's/.* at \(http:[^ ]*\)$/\1/p' "$log")"
  [[ -n "$SKLM_DOWNLOAD_SERVER" ]] || { echo "dlserver did not start within 30 s:" >&2; cat "$log" >&2; return 1; }
  export SKLM_DOWNLOAD_SERVER
}

# sk_sim SCENARIO [simstandin options]: the stand-in simulator, its commands through
# the fifo on fd 3 (sk_say). Its trace leaves out the per-frame position lines (a
# megabyte a minute per aircraft): simstandin-trace.jsonl keeps every other event.
# A simulator started again writes simstandin-trace-2.jsonl, and so on.
sk_sim() {
  local scenario="$1"; shift
  local fifo="$sk_program/simstandin.in" tracefifo="$sk_program/simstandin-trace.fifo"
  sk_sims=$((${sk_sims:-0} + 1))
  sk_trace="$sk_program/simstandin-trace.jsonl"
  ((sk_sims == 1)) || sk_trace="$sk_program/simstandin-trace-$sk_sims.jsonl"
  [[ -p "$fifo" ]] || mkfifo "$fifo"
  [[ -p "$tracefifo" ]] || mkfifo "$tracefifo"
  exec 3<> "$fifo"
  grep --line-buffered -v '"define":' < "$tracefifo" >> "$sk_trace" &
  sk_pids+=($!)
  "$sk_build/tools/simstandin/simstandin" --scenario "$scenario" --trace "$tracefifo" "$@" < "$fifo" \
    >> "$sk_program/simstandin.log" 2>&1 &
  sk_sim_pid=$!
  sk_pids+=("$sk_sim_pid")
}
sk_say() { echo "$*" >&3; }

# sk_player [rtplayer options] REPLAY
sk_player() {
  "$sk_build/tools/rtplayer/rtplayer" "$@" >> "$sk_program/rtplayer.log" 2>&1 &
  sk_player_pid=$!
  sk_pids+=("$sk_player_pid")
}

# sk_skylume: the program, headless, in its folder.
sk_skylume() {
  (cd "$sk_program" && DISPLAY= exec "$sk_build/skylume") > "$sk_program/skylume.out" 2>&1 &
  sk_pid=$!
}

# Resident set (KB) and processor seconds (user + system) of a process.
sk_rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
sk_cpu() { awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f\n", ($12 + $13) / hz }' "/proc/$1/stat"; }

# The program closes as by its close button; its status, or 124 when it outlived the bound.
sk_close() {
  kill -TERM "$sk_pid" 2> /dev/null || true
  for _ in $(seq 300); do
    kill -0 "$sk_pid" 2> /dev/null || break
    sleep 0.1
  done
  if kill -0 "$sk_pid" 2> /dev/null; then
    kill -KILL "$sk_pid"
    wait "$sk_pid" 2> /dev/null || true
    return 124
  fi
  local status=0
  wait "$sk_pid" || status=$?
  return "$status"
}

# Ends the simulator through "exit" (its trace whole), then the others.
sk_stop() {
  { sk_say exit; } 2> /dev/null || true
  [[ -n "${sk_sim_pid:-}" ]] && { wait "$sk_sim_pid" 2> /dev/null || true; }
  for pid in "${sk_pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${sk_pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  sk_pids=()
}

# Objects the program created in the stand-in and never removed (ids; none: empty).
sk_left_objects() {
  awk '/"event":"create"/ { match($0, /"id":[0-9]+/); live[substr($0, RSTART + 5, RLENGTH - 5)] = 1 }
       /"event":"(remove|vanish)"/ { match($0, /"id":[0-9]+/); delete live[substr($0, RSTART + 5, RLENGTH - 5)] }
       END { for (id in live) print id }' "$sk_trace"
}
