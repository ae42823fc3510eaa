#!/usr/bin/env bash
# Lays out the demo from the data in demo/ with the project's own tools, built in
# BUILD. Usage: demo.sh BUILD PROGRAM
#   PROGRAM/                  the program folder as installed: docs/, input/airports_msfs.xml,
#                             airports/my_park_airports.txt (LFBO) and LFBO's learned stand
#                             use (airports/learned/thirdparty/unknown/LFBO.xml)
#   PROGRAM/appdata/          a simulator installation in the Steam layout (UserCfg.opt,
#                             Packages/Official, Packages/Community holding the FSLTL AI
#                             package and an add-on LFBO) and RealTraffic's folder
#   PROGRAM/localappdata/     the local application data, empty
#   PROGRAM/data/             the scrambled data base and AIG regcode file, for dlserver --zip
# Run again, it lays out the installation and the data afresh and keeps what the
# program saved (settings, learned stands, its park airport list).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$1"
program="$2"
demo="$root/demo"

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
  END { print "</airports>" }' "$demo/openflights_airports_lfbo_100nm.dat" > "$program/input/airports_msfs.xml"
# Parked counts need a park airport; the program may add the user's stand to the line.
[[ -s "$program/airports/my_park_airports.txt" ]] || echo LFBO > "$program/airports/my_park_airports.txt"
# Static aircraft are planned from what earlier sessions learned at the stands: the
# demo starts with a learned file for LFBO, which the program then keeps up to date.
learned="$program/airports/learned/thirdparty/unknown"
mkdir -p "$learned"
[[ -s "$learned/LFBO.xml" ]] || cp "$demo/lfbo_learned.xml" "$learned/LFBO.xml"

appdata="$program/appdata"
sim="$appdata/Microsoft Flight Simulator"
packages="$sim/Packages"
rm -rf "$packages"
mkdir -p "$packages/Official/Steam" "$packages/Community/lfbo-demo/scenery" "$appdata/InsideSystems"
printf 'InstalledPackagesPath "%s"\n' "$packages" > "$sim/UserCfg.opt"
touch "$appdata/InsideSystems/RealTraffic.jar"
cp -r "$root/tests/data/liveries/fsltl-traffic-base" "$packages/Community/"
"$build/tools/bglwrite/bglwrite" "$demo/lfbo_airport.json" "$packages/Community/lfbo-demo/scenery/lfbo.bgl"

# The data base: the ICAO types and the package's airlines, with the FAA wing spans.
cat "$root/tests/data/liveries/temp2_fsltl.plain.xml" "$demo/wingspans.plain.xml" > "$program/data/temp2.plain.xml"
"$build/tools/scramble/scramble" temp2 "$program/data/temp2.plain.xml" "$program/data/temp2.xml"
"$build/tools/scramble/scramble" aig "$demo/AIG-regcodes.plain.xml" "$program/data/AIG-regcodes.xml"
