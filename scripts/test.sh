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

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
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
