#!/usr/bin/env bash
# The Windows program as a user gets it, once scripts/build-windows.sh has built
# it: the zip holds one folder with skylume.exe, which imports the system's DLLs only; then
# skylume.exe runs the LFBO demo under Wine beside the Linux stand-ins (the
# Linux build's DemoRun test for the Windows program), in a Wine session of its
# own. It runs in this machine's network, not in a namespace of its own as the
# Linux tests on fixed ports do: Wine's server, started here, holds the
# program's sockets.
# Usage: test-windows-program.sh [Windows build] [Linux build]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
windows="${1:-$root/build/windows}"
linux="${2:-$root/build/asan}"

zip="$(ls "$windows"/skylume-*-win64.zip 2> /dev/null | head -1)"
[[ -n "$zip" ]] || { echo "no skylume-*-win64.zip in $windows" >&2; exit 1; }
# One folder, named after the version, holds everything.
top="$(basename "$zip" -win64.zip)"
top="Skylume-${top#skylume-}"
# Listed once: grep -q leaving a pipe at its first match may end unzip with
# SIGPIPE, which pipefail took for a zip without the program (9 runs in 200).
entries="$(unzip -Z1 "$zip")"
grep -qx "$top/skylume.exe" <<< "$entries" || { echo "$zip holds no $top/skylume.exe" >&2; exit 1; }
outside="$(grep -v "^$top/" <<< "$entries" || true)"
[[ -z "$outside" ]] || { echo "$zip holds entries outside $top/:" $outside >&2; exit 1; }
echo "$(basename "$zip"): $(wc -l <<< "$entries") entries in $top/, skylume.exe among them"

# A DLL of a runtime or library that is not the system's would have to be shipped.
imports="$(x86_64-w64-mingw32-objdump -p "$windows/dist/skylume.exe" | sed -n 's/^[[:space:]]*DLL Name: //p')"
echo "skylume.exe imports:" $imports
system='kernel32|user32|gdi32|shell32|advapi32|ws2_32|winmm|winhttp|msvcrt|ole32|oleaut32|comctl32|shlwapi|ntdll'
others="$(grep -viE "^($system)\.dll$" <<< "$imports" || true)"
[[ -z "$others" ]] || { echo "skylume.exe imports DLLs that are not the system's:" $others >&2; exit 1; }

# The end-to-end run has a Wine session of its own, begun on its virtual display.
source "$root/scripts/wine.sh"
sk_wine_stop
trap 'sk_wine_stop; sk_wine_display_stop' EXIT
sk_wine_display
sk_wine_start
start=$(date +%s)
SKLM_OWN_NETWORK=1 SKLM_WINDOWS_BUILD="$windows" ctest --test-dir "$linux" -R '^DemoRun\.TheWindowsProgram' --no-tests=error \
  --timeout 300 --output-on-failure
echo "Windows end-to-end run in $(( $(date +%s) - start )) s; the window as it was: $windows/demo-run.png"
