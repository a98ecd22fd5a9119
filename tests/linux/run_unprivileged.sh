#!/bin/sh
# Runs a command with no right to any I/O port, whatever this machine allows
# root: ioperm and /dev/port both need CAP_SYS_RAWIO, and the command runs
# without it. As root it runs as nobody with every capability dropped (or, where
# nobody cannot reach the build tree, as root with every capability dropped);
# otherwise as it is, holding no capability.
#   run_unprivileged.sh PROGRAM [ARG...]
set -eu
[ "$(id -u)" -eq 0 ] || exec "$@"
drop="--inh-caps=-all --ambient-caps=-all --bounding-set=-all --no-new-privs"
if setpriv --reuid=nobody --regid=nogroup --clear-groups $drop test -x "$1"; then
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups $drop "$@"
fi
exec setpriv $drop "$@"
