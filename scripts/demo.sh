#!/usr/bin/env bash
# Lays out the demo from the data in demo/ with the project's own tools, built in
# BUILD. Usage: demo.sh BUILD PROGRAM [WORLD]
#   WORLD                     lfbo (the default): Toulouse-Blagnac, its traffic mostly
#                             airborne; essa: Stockholm-Arlanda, its traffic mostly on the
#                             ground. The world's replay is demo/WORLD_*.replay and its
#                             simulator demo/WORLD_sim.json.
#   PROGRAM/                  the program folder as installed: docs/, input/airports_msfs.xml,
#                             airports/my_park_airports.txt (the world's airport) and, when
#                             the world has one (LFBO), its learned stand use
#                             (airports/learned/thirdparty/unknown/LFBO.xml)
#   PROGRAM/appdata/          a simulator installation in the Steam layout (UserCfg.opt,
#                             Packages/Official, Packages/Community holding the FSLTL AI
#                             package and the world's add-on airport) and RealTraffic's folder
#   PROGRAM/localappdata/     the local application data, empty
#   PROGRAM/data/             the scrambled data base and AIG regcode file, for dlserver --zip
# Run again, it lays out the installation and the data afresh and keeps what the
# program saved (settings, learned stands, its park airport list).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$1"
program="$2"
world="${3:-lfbo}"
demo="$root/demo"
case "$world" in
  lfbo | essa) icao="${world^^}" ;;
  *) echo "demo.sh: unknown world \"$world\" (lfbo or essa)" >&2; exit 2 ;;
esac

mkdir -p "$program/docs" "$program/input" "$program/airports" "$program/data" "$program/localappdata"
# The airport list from the OpenFlights lines. Fields are counted from the end of the
# line: a quoted name may hold a comma. Airports without an ICAO code are left out.
awk -F, '
  BEGIN { print "<?xml version=\"1.0\"?>"; print "<airports>" }
  {
    icao = $(NF - 8); iata = $(NF - 9)
    gsub(/"/, "", icao); gsub(/"/, "", iata)
    if (iata == "\\N") iata = ""
    if (length(icao) != 4 || icao !~ /^[A-Z0-9]+$/) next
    printf "  <airport code=\"%s\" iata=\"%s\" lat=\"%s\" lon=\"%s\" alt=\"%s\"/>\n", icao, iata, $(NF - 7), $(NF - 6), $(NF - 5)
  }
  END { print "</airports>" }' "$demo/openflights_airports_${world}_100nm.dat" > "$program/input/airports_msfs.xml"
# Parked counts need a park airport; the program may add the user's stand to the line.
parks="$program/airports/my_park_airports.txt"
if ! grep -qs "^$icao" "$parks"; then
  [[ ! -s "$parks" || -z "$(tail -c 1 "$parks")" ]] || echo >> "$parks"
  echo "$icao" >> "$parks"
fi
# Static aircraft are planned from what earlier sessions learned at the stands: the
# LFBO demo starts with a learned file, which the program then keeps up to date.
learned="$program/airports/learned/thirdparty/unknown"
mkdir -p "$learned"
if [[ -s "$demo/${world}_learned.xml" && ! -s "$learned/$icao.xml" ]]; then
  cp "$demo/${world}_learned.xml" "$learned/$icao.xml"
fi

appdata="$program/appdata"
sim="$appdata/Microsoft Flight Simulator"
packages="$sim/Packages"
rm -rf "$packages"
mkdir -p "$packages/Official/Steam" "$packages/Community/$world-demo/scenery" "$appdata/InsideSystems"
printf 'InstalledPackagesPath "%s"\n' "$packages" > "$sim/UserCfg.opt"
touch "$appdata/InsideSystems/RealTraffic.jar"
cp -r "$root/tests/data/liveries/fsltl-traffic-base" "$packages/Community/"
"$build/tools/bglwrite/bglwrite" "$demo/${world}_airport.json" "$packages/Community/$world-demo/scenery/$world.bgl"

# The data base: the ICAO types and the package's airlines, with the FAA wing spans.
cat "$root/tests/data/liveries/temp2_fsltl.plain.xml" "$demo/wingspans.plain.xml" > "$program/data/temp2.plain.xml"
"$build/tools/scramble/scramble" temp2 "$program/data/temp2.plain.xml" "$program/data/temp2.xml"
"$build/tools/scramble/scramble" aig "$demo/AIG-regcodes.plain.xml" "$program/data/AIG-regcodes.xml"
