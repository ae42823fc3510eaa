#!/usr/bin/env bash
# Runs a Windows program of this tree under Wine in the tree's own prefix
# (build/wine, unless WINEPREFIX names another), Wine's own messages off unless
# WINEDEBUG asks for them. The Windows build's CMAKE_CROSSCOMPILING_EMULATOR:
# ctest lists and runs the test programs through it. Their standard output
# loses the carriage returns of Windows line ends, which would otherwise end
# up in the names ctest reads from the test programs' lists. The output goes
# through files, not pipes: services Wine starts on the way keep a pipe open.
#
# Under load Wine at times fails to start a program: it fails without a word,
# within hundredths of a second. A run that fails so, with no output at all on
# either stream and within a second, is run once more, said on the standard
# error, and named in the file SKLM_WINE_RERUNS names when it is set. Any other
# failure is the program's own and stands.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out="$(mktemp)"
err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT

run() {
  local began
  began=$(date +%s%N)
  status=0
  wine "$@" > "$out" 2> "$err" || status=$?
  elapsed_ms=$((($(date +%s%N) - began) / 1000000))
}

run "$@"
if ((status != 0 && elapsed_ms < 1000)) && [[ ! -s "$out" && ! -s "$err" ]]; then
  what="$(basename "$1")${2:+ ${*:2}}"
  echo "wine-run: $what ended with $status after $elapsed_ms ms without a word (Wine did not start it): run once more" >&2
  [[ -z "${SKLM_WINE_RERUNS:-}" ]] || echo "$what (status $status after $elapsed_ms ms)" >> "$SKLM_WINE_RERUNS"
  run "$@"
fi
tr -d '\r' < "$err" >&2
tr -d '\r' < "$out"
exit "$status"
