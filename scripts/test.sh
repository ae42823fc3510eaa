#!/usr/bin/env bash
# Installs what is needed, builds with AddressSanitizer + UndefinedBehaviorSanitizer
# and runs every test; then builds the Windows program with its tests and runs
# them under Wine (scripts/test-windows.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
start=$(date +%s)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DSKLM_SANITIZE=ON
# The Windows build runs beside the Linux tests, which leave most of the machine
# idle while the end-to-end runs take their turns; at the lowest priority it
# takes nothing from their timing.
windows_log="$root/build/windows-build.log"
t=$(date +%s)
nice -n 19 bash "$root/scripts/test-windows.sh" build > "$windows_log" 2>&1 &
windows_build=$!

status=0
# The whole follow-the-reports sweep gates too: the engine and its bed in
# Release, one shard per core, each failing on a row that no rule excuses and
# tests/data/traffic/follow_reports_known.tsv does not list, or on a listed row
# that no longer shows. It runs before the tests, which it would slow.
t=$(date +%s)
release="$root/build/release"
cmake -S "$root" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$release" -j "$(nproc)" --target follow_reports_bench >/dev/null
shards=$(nproc)
sweeps=()
for ((i = 0; i < shards; i++)); do
  "$release/tests/follow_reports_bench" --shard "$i/$shards" > "$release/sweep-$i.log" 2>&1 &
  sweeps+=($!)
done
sweep=0
for pid in "${sweeps[@]}"; do wait "$pid" || sweep=1; done
grep -h "^follow_reports_bench:" "$release"/sweep-*.log || true
if ((sweep)); then
  grep -h -e "^not in the known rows" -e "^known row no longer shows" "$release"/sweep-*.log >&2 || true
  echo "The follow-the-reports sweep found rows its known list lacks, or listed rows gone (logs: $release/sweep-*.log)" >&2
  status=1
fi
echo "The sweep: $(( $(date +%s) - t )) s"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd "$root/build/asan" && ctest --output-on-failure -j "$(nproc)" --timeout 300) | tee "$root/build/asan/ctest.log" ||
  status=$?
linux=$(( $(date +%s) - start ))
echo "Linux half: $(grep -E 'tests passed, [0-9]+ tests failed out of' "$root/build/asan/ctest.log" || echo "no summary")" \
  "in $linux s"

if wait "$windows_build"; then
  tail -n 3 "$windows_log"
  bash "$root/scripts/test-windows.sh" test || status=1
else
  tail -n 40 "$windows_log" >&2
  echo "The Windows build failed (log: $windows_log)" >&2
  status=1
fi
echo "Linux half $linux s, Windows half (its build beside the Linux tests) $(( $(date +%s) - t )) s," \
  "all $(( $(date +%s) - start )) s"
exit "$status"
