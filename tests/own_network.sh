#!/bin/sh
# Runs a test program in a network namespace of its own, with only its own
# loopback: the tests on RealTraffic's fixed ports then never meet each other's
# sockets and run side by side. Where the caller already chose the network (the
# Windows program's runs, whose sockets Wine's server holds), SKLM_OWN_NETWORK
# is set and the program runs as it is.
# Usage: own_network.sh PROGRAM [ARGUMENTS]
if [ -n "${SKLM_OWN_NETWORK:-}" ]; then exec "$@"; fi
user=""
[ "$(id -u)" -eq 0 ] || user="-r"
exec unshare $user -n -- env SKLM_OWN_NETWORK=1 sh -c 'ip link set lo up && exec "$@"' own_network "$@"
