#!/usr/bin/env bash
# Load: AIRCRAFT aircraft (600) each reporting once a second for MINUTES (10)
# through the real UDP path: a generated replay played by rtplayer to Skylume
# beside the stand-in simulator, the user aircraft cruising at FL300 over LFBO
# (automatic range 40 nm). The aircraft fly straight lines within 35 nm; one
# that leaves the circle stops reporting and a new one starts at a random place
# in it. Prints the update queue's age and the tick time (measured by the
# program when SKLM_ENGINE_STATS names a file), the simulator's creations and
# removals per second, and the program's processor time and resident set.
# Usage: load.sh [AIRCRAFT [MINUTES]]   (Release build in build/release, SKLM_BUILD to change)
source "$(dirname "${BASH_SOURCE[0]}")/standins.sh"
sk_isolate "$@"
aircraft="${1:-600}"
minutes="${2:-10}"
sk_build_tools
sk_layout "$sk_build/load"

replay="$sk_program/load.replay"
awk -v n="$aircraft" -v seconds="$((minutes * 60))" '
  function start(i) {
    r = 35 * sqrt(rand()); a = 2 * pi * rand()
    x[i] = r * sin(a); y[i] = r * cos(a)
    track[i] = 360 * rand(); speed[i] = 250 + 230 * rand(); alt[i] = 100 * int(50 + 340 * rand())
    hex[i] = 1048576 + 4096 * gen[i]++ + i
    k = int(rand() * nop); call[i] = sprintf("%s%d", op[k], 100 + i); type[i] = tp[k]
  }
  BEGIN {
    srand(37); pi = atan2(0, -1)
    nop = split("AFR BAW DLH EZY IBE TAP VLG RYR EWG AUA", op, " ")
    split("A320 A319 A320 A319 A320 A319 A320 B738 A20N A320", tp, " ")
    for (k = 0; k < nop; ++k) { op[k] = op[k + 1]; tp[k] = tp[k + 1] }
    lat0 = 43.629; lon0 = 1.364; coslat = cos(lat0 * pi / 180)
    for (i = 0; i < n; ++i) start(i)
    for (t = 0; t < seconds; ++t) {
      for (i = 0; i < n; ++i) {
        d = speed[i] / 3600; h = track[i] * pi / 180
        x[i] += d * sin(h); y[i] += d * cos(h)
        if (x[i] * x[i] + y[i] * y[i] > 35 * 35) start(i)
        printf "RTTFC,%d,%.6f,%.6f,%d,0,0,%.2f,%.1f,%s,%s,F-L%03d,null,null,%.3f,X2,null,adsb_icao,%d," \
               "-1,-1,-1,-1,-1,-1,-1,0,none,A3,-1,-1,-1,-1,,0.0,-1,-1,-1,-1,-1,1,0,0\n",
               hex[i], lat0 + y[i] / 60, lon0 + x[i] / 60 / coslat, alt[i], track[i], speed[i], call[i], type[i],
               i % 1000, 1573466400 + t + i / n, alt[i] + 200
      }
    }
  }' > "$replay"

# The demo's world with the user aircraft in the air above LFBO.
scenario="$sk_program/load_sim.json"
sed -e 's/"altitude_ft": 506.5/"altitude_ft": 30000/' -e 's/"on_ground": true/"on_ground": false/' \
  "$sk_root/demo/lfbo_sim.json" > "$scenario"

stats="$sk_program/engine-stats.txt"
export SKLM_ENGINE_STATS="$stats"
sk_dlserver
sk_sim "$scenario"
sk_skylume
sk_player --now --qnh 1013 --wait-version "$replay"
echo "Load: $aircraft aircraft for $minutes min in $sk_program (pid $sk_pid)"
rss_max=0
for s in $(seq 10 10 "$((minutes * 60))"); do
  sleep 10
  kill -0 "$sk_pid" 2> /dev/null || { echo "Skylume ended early"; break; }
  rss="$(sk_rss "$sk_pid")"
  ((rss > rss_max)) && rss_max="$rss"
  ((s % 60 == 0)) && echo "$((s / 60)) min: resident set $rss KB, processor $(sk_cpu "$sk_pid") s"
done
cpu="$(sk_cpu "$sk_pid")"
rss="$(sk_rss "$sk_pid")"
running_lines="$(wc -l < "$sk_trace")"
status=0
sk_close || status=$?
sk_stop

percentiles() {
  sort -n | awk -v unit="$1" '{ v[NR] = $1 } END {
    if (!NR) { print "no samples"; exit }
    printf "p50 %s, p99 %s, max %s %s (%d samples)\n", v[int(0.5 * (NR - 1)) + 1], v[int(0.99 * (NR - 1)) + 1], v[NR], unit, NR }'
}
echo "update queue age: $(awk '$1 == "ages" { for (i = 2; i <= NF; ++i) print $i * 10 }' "$stats" | percentiles ms)"
echo "tick time: $(awk '$1 == "ticks_us" { for (i = 2; i <= NF; ++i) print $i }' "$stats" | percentiles us)"
awk -v fps=30 -v seconds="$((minutes * 60))" -v running="$running_lines" '
  NR > running { if (/"event":"remove"/) ++closing; next }
  /"event":"create"/ { ++created; ++c[int(substr($0, 10) / fps)] }
  /"event":"remove"/ { ++removed; ++r[int(substr($0, 10) / fps)] }
  END {
    for (s in c) if (c[s] > cmax) cmax = c[s]
    for (s in r) if (r[s] > rmax) rmax = r[s]
    printf "creations: %d (%.2f/s, at most %d in a second); removals: %d (%.2f/s, at most %d in a second);" \
           " %d removed by the close\n", created, created / seconds, cmax, removed, removed / seconds, rmax, closing
  }' "$sk_trace"
echo "processor: $cpu s ($(awk -v c="$cpu" -v s="$((minutes * 60))" 'BEGIN { printf "%.1f", 100 * c / s }') % of one core);" \
  "resident set: $rss KB at the end, at most $rss_max KB; exit status $status"
echo "objects left in the simulator after the close: $(sk_left_objects | wc -l)"
