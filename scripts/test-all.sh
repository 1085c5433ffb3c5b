#!/bin/sh
# Installs what is missing, then configures, builds and tests both editions; nonzero when anything fails.
# The host edition runs twice: with AddressSanitizer/UBSan (host) and with ThreadSanitizer (tsan,
# unit tests and whole runs; any data race ends the test process with an error).
# Wine: WINEDEBUG=-all throughout. The Windows tests' CTest fixture makes a fresh prefix under
# build/windows/wine on first use in a run and keeps its wineserver warm (a cold server holds the
# pipes of the first wine process open); the server is stopped at the end, also after a failure.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
start=$(date +%s)

if ! sh scripts/setup.sh; then
    echo "test-all: set-up failed"
    exit 1
fi
export WINEDEBUG=-all

stop_wine() {
    for prefix in "$root/build/windows/wine/prefix64" "$root/build/windows/wine/prefix32"; do
        [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    done
    return 0
}
trap stop_wine EXIT

failed=""
for preset in host tsan windows; do
    step=$(date +%s)
    if cmake --workflow --preset "$preset"; then
        echo "test-all: $preset passed in $(($(date +%s) - step)) s"
    else
        echo "test-all: $preset FAILED after $(($(date +%s) - step)) s"
        failed="$failed $preset"
    fi
done

echo "test-all: finished in $(($(date +%s) - start)) s"
if [ -n "$failed" ]; then
    echo "test-all: failed:$failed"
    exit 1
fi
