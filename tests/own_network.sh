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
# The fixed ports are kept out of the ports the system hands to sockets that
# bind none (a client's, a sender's): one such socket on 49005 would take the
# program's traffic port. Where the namespace's settings cannot be written, the
# chance stays.
exec unshare $user -n -- env SKLM_OWN_NETWORK=1 sh -c '
  ip link set lo up || exit 1
  echo 10747,49004,49005 > /proc/sys/net/ipv4/ip_local_reserved_ports 2> /dev/null
  exec "$@"' own_network "$@"
