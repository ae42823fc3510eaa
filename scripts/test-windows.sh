#!/usr/bin/env bash
# The Windows build under Wine: builds build/windows (scripts/build-windows.sh),
# lists and runs its test programs through Wine with ctest, then the Windows
# end-to-end run: the DemoRun test of the Linux build LINUX (default build/asan,
# which must be built) with skylume.exe under Wine on a virtual display beside
# the Linux stand-ins. Prints the number of Windows tests run and passed.
# Usage: test-windows.sh [LINUX]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
linux="${1:-$root/build/asan}"
windows="$root/build/windows"
jobs="${SKLM_WINDOWS_JOBS:-$(nproc)}"

bash "$root/scripts/build-windows.sh"
source "$root/scripts/wine.sh"
sk_wine_start
trap sk_wine_stop EXIT

# ctest's own summary gives the counts: "N% tests passed, F tests failed out of T".
status=0
ctest --test-dir "$windows" -j "$jobs" --timeout 300 --output-on-failure > "$windows/ctest.log" 2>&1 || status=$?
summary="$(grep -E 'tests passed, [0-9]+ tests failed out of' "$windows/ctest.log" || true)"
total="$(sed -n 's/.* out of \([0-9]*\)$/\1/p' <<< "$summary")"
failed="$(sed -n 's/.*tests passed, \([0-9]*\) tests failed.*/\1/p' <<< "$summary")"
skipped="$(grep -c '\*\*\*Skipped' "$windows/ctest.log" || true)"
if ((status != 0)); then sed -n '/The following tests FAILED/,$p' "$windows/ctest.log" >&2; fi
echo "Windows tests under Wine: ${total:-0} run, $((${total:-0} - ${failed:-0} - skipped)) passed, $skipped skipped" \
  "(log: $windows/ctest.log)"

SKLM_WINDOWS_BUILD="$windows" ctest --test-dir "$linux" -R '^DemoRun\.TheWindowsProgram' --timeout 400 \
  --output-on-failure || status=$?
echo "Windows end-to-end run: $([[ -f "$windows/skylume-window.png" ]] && echo "window at $windows/skylume-window.png")"
exit "$status"
