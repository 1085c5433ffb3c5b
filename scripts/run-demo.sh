#!/bin/sh
# Sets up, builds the host edition and programs the cards of the default simulated machine.
# Extra arguments go to the updater (for example -q to skip the prompts).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
[ -f build/host/CMakeCache.txt ] || cmake --preset host >/dev/null
cmake --build build/host --target OvnK740FpgaUpdater >/dev/null
exec build/host/OvnK740FpgaUpdater -f samples/k740_demo.xsvf "$@"
