#!/bin/sh
# Runs a test program in a network namespace of its own where the system
# allows one. The console's single-instance name is an abstract socket, which
# belongs to a network namespace: a console the user runs meanwhile then
# neither refuses the tests' consoles nor is refused by them, and the PC/SC
# rig's loopback ports meet no other rig. Elsewhere the program runs as it is.
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
  exec unshare --net sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec "$@"
