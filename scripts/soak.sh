#!/usr/bin/env bash
# Soak: the demo replay looped for an hour (MINUTES) beside the stand-ins.
# Prints the program's resident set, processor time and Log.txt size every minute,
# then the resident set's drift after the first 10 minutes, Log.txt's growth per
# hour and the objects the program left in the simulator after its close.
# Usage: soak.sh [MINUTES]   (Release build in build/release, SKLM_BUILD to change)
source "$(dirname "${BASH_SOURCE[0]}")/standins.sh"
sk_isolate "$@"
minutes="${1:-60}"
sk_build_tools
sk_layout "$sk_build/soak"
replay="$sk_root/demo/lfbo_20191111_1000-1010.replay"
sk_dlserver
sk_sim "$sk_root/demo/lfbo_sim.json"
sk_player --loop --now --qnh 1013 "$replay"
sk_skylume
log="$sk_program/Log.txt"
echo "Soak of $minutes min in $sk_program (pid $sk_pid)"
echo "minute rss_kb cpu_s log_bytes objects"
samples=()
for m in $(seq 0 "$minutes"); do
  ((m == 0)) || sleep 60
  kill -0 "$sk_pid" 2> /dev/null || { echo "Skylume ended early"; break; }
  created=$(grep -c '"event":"create"' "$sk_trace" || true)
  removed=$(grep -cE '"event":"(remove|vanish)"' "$sk_trace" || true)
  line="$m $(sk_rss "$sk_pid") $(sk_cpu "$sk_pid") $(stat -c %s "$log" 2> /dev/null || echo 0) $((created - removed))"
  echo "$line"
  samples+=("$line")
done
status=0
sk_close || status=$?
sk_stop
printf '%s\n' "${samples[@]}" | awk -v status="$status" '
  $1 == 10 { rss10 = $2; log10 = $4; t10 = $1 }
  $1 >= 10 { if (min == "" || $2 < min) min = $2; if ($2 > max) max = $2 }
  { last = $1; rss = $2; cpu = $3; size = $4 }
  END {
    printf "exit status %s after %d min, processor %.1f s (%.1f %% of one core)\n", status, last, cpu, last ? 100 * cpu / (60 * last) : 0
    if (t10 != "" && last > t10) {
      printf "resident set after 10 min: %d KB, at the end %d KB, range %d..%d KB (drift %+d KB)\n", rss10, rss, min, max, rss - rss10
      printf "Log.txt: %d bytes at the end, growth %.0f bytes per hour after 10 min\n", size, (size - log10) * 60 / (last - t10)
    }
  }'
left=$(sk_left_objects | wc -l)
echo "objects created $(grep -c '"event":"create"' "$sk_trace" || true), left in the simulator after the close: $left"
[[ "$status" == 0 && "$left" == 0 ]]
