# Sourced by the scripts that run the Windows build under Wine: the tree's one
# prefix (build/wine, made on first use, about 700 MB), a wineserver kept up
# between programs (each then starts in hundredths of a second instead of
# seconds) and the user's folders, which Wine takes from the prefix's registry
# and never from APPDATA in the environment. Wine's server holds the programs'
# sockets, so it must run in the network namespace of the stand-ins they meet.
sk_wine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$sk_wine_root/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Non-ASCII arguments reach Windows programs through the locale's encoding.
export LC_ALL=C.UTF-8

# The persistent server, the prefix made in it when there is none, and its services.
sk_wine_start() {
  mkdir -p "$WINEPREFIX"
  # A server already up for this prefix (a run that did not end its own) answers 2: it serves.
  wineserver -p > /dev/null 2>&1 < /dev/null || true
  [[ -f "$WINEPREFIX/system.reg" ]] || wineboot -i > /dev/null 2>&1
  # Windows need a display driver: X11 where a display is named (the program's
  # runs on a virtual one), else the null driver, on which the test programs
  # still make their windows. The first program to make a window decides, for
  # as long as the server runs.
  if ! grep -q '"Graphics"="x11,null"' "$WINEPREFIX/user.reg" 2> /dev/null; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f > /dev/null 2>&1 < /dev/null
  fi
  # Wine's services start with the first program and keep its standard streams:
  # started here, they hold nothing of ctest's.
  wineboot > /dev/null 2>&1 < /dev/null
}

# Waits for the server's end: a new one for the prefix is refused while it lives.
sk_wine_stop() { wineserver -k 2> /dev/null || true; wineserver -w 2> /dev/null || true; }

# The Windows name of a Linux path (Wine's drive Z: is the root).
sk_wine_path() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }

# sk_wine_folders ROAMING LOCAL: the user's application-data folders, made and set.
sk_wine_folders() {
  local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
  mkdir -p "$1" "$2"
  wine reg add "$key" /v AppData /t REG_EXPAND_SZ /d "$(sk_wine_path "$1")" /f > /dev/null
  wine reg add "$key" /v 'Local AppData' /t REG_EXPAND_SZ /d "$(sk_wine_path "$2")" /f > /dev/null
}

# sk_wine_display: a virtual display, exported as DISPLAY, for a session whose
# programs make windows. Wine's desktop takes its display from the session's
# first program and keeps it while programs come and go: a session begun without
# one gives later windows no driver at all (CreateWindowExW fails), so the
# display comes before sk_wine_start. Ended by sk_wine_display_stop.
sk_wine_display() {
  local named
  named="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 1400x600x24 -nolisten tcp 3> "$named" > /dev/null 2>&1 &
  sk_wine_xvfb=$!
  local waits=0
  until [[ -s "$named" ]]; do
    if ((++waits > 400)) || ! kill -0 "$sk_wine_xvfb" 2> /dev/null; then
      echo "Xvfb named no display" >&2
      rm -f "$named"
      return 1
    fi
    sleep 0.05
  done
  export DISPLAY=":$(head -n 1 "$named")"
  rm -f "$named"
}

sk_wine_display_stop() {
  [[ -z "${sk_wine_xvfb:-}" ]] || { kill "$sk_wine_xvfb" 2> /dev/null; wait "$sk_wine_xvfb" 2> /dev/null || true; }
}
