#!/bin/sh
# Sets up, builds the host edition and programs the cards of the default simulated machine.
# Extra arguments go to the updater (for example -q to skip the prompts).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
[ -f build/host/CMakeCache.txt ] || cmake --preset host >/dev/null
cmake --build build/host --target OvnK740FpgaUpdater >/dev/null
# Without a terminal nobody can answer the prompt (the end of input would abort the update).
if [ ! -t 0 ]; then
    echo "run-demo: no terminal attached, so the updater runs with -q (no prompts)."
    set -- -q "$@"
fi
exec build/host/OvnK740FpgaUpdater -f samples/k740_demo.xsvf "$@"
