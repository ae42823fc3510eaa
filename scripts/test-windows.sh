#!/usr/bin/env bash
# The Windows build under Wine: builds build/windows with its tests
# (scripts/build-windows.sh), lists and runs its test programs through Wine with
# ctest, in the tree's one prefix with a persistent wineserver. Prints the
# number of Windows tests run, passed and skipped, and the time each step took.
# Usage: test-windows.sh [build | test]: only the build, or only the tests of a
# build made before (scripts/test.sh builds while the Linux tests run); both
# when not given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
windows="$root/build/windows"
jobs="${SKLM_WINDOWS_JOBS:-$(nproc)}"
step="${1:-all}"
start=$(date +%s)

for p in wine wine64; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends wine wine64 >/dev/null
    break
  fi
done

# The build runs Windows tools of the tree under Wine (the scrambled test
# fixtures): the server and the prefix are up before it.
source "$root/scripts/wine.sh"
sk_wine_start
trap sk_wine_stop EXIT
echo "Wine prefix ready in $(( $(date +%s) - start )) s"

if [[ "$step" != test ]]; then
  t=$(date +%s)
  # Unoptimised and without debug information: the tests need neither, and the
  # optimised build with it was the longest step of the CI run.
  bash "$root/scripts/build-windows.sh" "$windows" -DSKLM_TESTS=ON -DCMAKE_BUILD_TYPE=None
  echo "Windows build with its tests in $(( $(date +%s) - t )) s"
fi
[[ "$step" != build ]] || exit 0

# The tests that do not pass under Wine yet are left out, and counted.
pending_file="$root/tests/windows_pending.txt"
mapfile -t pending < <(grep -v '^\s*\(#\|$\)' "$pending_file")
exclude="^($(printf '%s|' "${pending[@]}" | sed 's/[.]/\\./g; s/|$//'))\$"

# A test program that Wine fails to start (at times under load: no output at all,
# ended within a second) is run once more by scripts/wine-run.sh, which names it
# here; every other failure fails at its first run.
# ctest's own summary gives the counts: "N% tests passed, F tests failed out of T".
t=$(date +%s)
status=0
export SKLM_WINE_RERUNS="$windows/wine-reruns.txt"
: > "$SKLM_WINE_RERUNS"
ctest --test-dir "$windows" -j "$jobs" --timeout 300 --output-on-failure -E "$exclude" > "$windows/ctest.log" 2>&1 ||
  status=$?
if [[ -s "$SKLM_WINE_RERUNS" ]]; then
  echo "Run once more after Wine failed to start them ($(wc -l < "$SKLM_WINE_RERUNS")):"
  sed 's/^/  /' "$SKLM_WINE_RERUNS"
fi
summary="$(grep -E 'tests passed, [0-9]+ tests failed out of' "$windows/ctest.log" || true)"
total="$(sed -n 's/.* out of \([0-9]*\)$/\1/p' <<< "$summary")"
failed="$(sed -n 's/.*tests passed, \([0-9]*\) tests failed.*/\1/p' <<< "$summary")"
skipped="$(grep -c '\*\*\*Skipped' "$windows/ctest.log" || true)"
if ((status != 0)); then sed -n '/The following tests FAILED/,$p' "$windows/ctest.log" >&2; fi
echo "Windows tests under Wine: ${total:-0} run, $((${total:-0} - ${failed:-0} - skipped)) passed," \
  "$skipped skipped, ${failed:-0} failed in $(( $(date +%s) - t )) s; ${#pending[@]} left out as not yet passing" \
  "($pending_file; log: $windows/ctest.log)"
bash "$root/scripts/test-windows-program.sh" "$windows" "$root/build/asan" || status=1
echo "Windows half: $(( $(date +%s) - start )) s"

exit "$status"
