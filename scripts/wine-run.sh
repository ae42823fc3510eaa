#!/usr/bin/env bash
# Runs a Windows program of this tree under Wine in the tree's own prefix
# (build/wine, unless WINEPREFIX names another), Wine's own messages off unless
# WINEDEBUG asks for them. The Windows build's CMAKE_CROSSCOMPILING_EMULATOR:
# ctest lists and runs the test programs through it.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
