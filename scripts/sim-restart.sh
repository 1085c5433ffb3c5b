#!/bin/sh
# Restarts the simulated machine and logs on: a pending display-driver disable takes effect, then the
# run-once entries run one after another on this terminal and are deleted, as Windows does at logon.
# The machine and its state come from OVN_SIM_MACHINE and OVN_SIM_STATE, as for the updater.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
[ -f "$root/build/host/CMakeCache.txt" ] || cmake -S "$root" --preset host >/dev/null
cmake --build "$root/build/host" --target ovn_sim_restart >/dev/null
input=/dev/null
if [ -t 0 ]; then input=/dev/tty; fi
exec "$root/build/host/testing/sim_logon/ovn_sim_restart" "$input"
