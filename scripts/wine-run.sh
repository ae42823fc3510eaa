#!/usr/bin/env bash
# Runs a Windows program of this tree under Wine in the tree's own prefix
# (build/wine, unless WINEPREFIX names another), Wine's own messages off unless
# WINEDEBUG asks for them. The Windows build's CMAKE_CROSSCOMPILING_EMULATOR:
# ctest lists and runs the test programs through it. Their standard output
# loses the carriage returns of Windows line ends, which would otherwise end
# up in the names ctest reads from the test programs' lists. The output goes
# through a file, not a pipe: services Wine starts on the way keep a pipe open.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
status=0
wine "$@" > "$out" || status=$?
tr -d '\r' < "$out"
exit "$status"
