#!/bin/sh
# Installs what is missing, then configures, builds and tests both editions; nonzero when anything fails.
# The host edition runs twice: with AddressSanitizer/UBSan (host) and with ThreadSanitizer (tsan,
# unit tests and whole runs; any data race ends the test process with an error). The whole runs
# about trust, paths, planted files and the documents start the same threads as the others and run
# in the host preset only, as does the power-cut matrix. The static
# analysis (scripts/static-analysis.sh, .clang-tidy) runs in the background beside the Wine tests.
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
for preset in host tsan; do
    step=$(date +%s)
    if cmake --workflow --preset "$preset"; then
        echo "test-all: $preset passed in $(($(date +%s) - step)) s"
    else
        echo "test-all: $preset FAILED after $(($(date +%s) - step)) s"
        failed="$failed $preset"
    fi
done

# The Windows edition's steps one by one, so that the static analysis runs beside its Wine tests:
# they run one at a time and mostly wait, which leaves the cores to the analysers.
step=$(date +%s)
analysis=""
mkdir -p build/analysis
if cmake --preset windows && cmake --build --preset windows; then
    sh scripts/static-analysis.sh >build/analysis/static-analysis.log 2>&1 &
    analysis=$!
    if ctest --preset windows; then
        echo "test-all: windows passed in $(($(date +%s) - step)) s"
    else
        echo "test-all: windows FAILED after $(($(date +%s) - step)) s"
        failed="$failed windows"
    fi
else
    echo "test-all: windows FAILED after $(($(date +%s) - step)) s"
    failed="$failed windows"
fi
if [ -z "$analysis" ]; then
    # No Windows build, so nothing ran beside it: the analysis alone.
    sh scripts/static-analysis.sh >build/analysis/static-analysis.log 2>&1 &
    analysis=$!
fi
if wait "$analysis"; then
    tail -n 1 build/analysis/static-analysis.log | sed 's/^static-analysis/test-all: static analysis/'
else
    cat build/analysis/static-analysis.log
    echo "test-all: static analysis FAILED"
    failed="$failed static-analysis"
fi

echo "test-all: finished in $(($(date +%s) - start)) s"
if [ -n "$failed" ]; then
    echo "test-all: failed:$failed"
    exit 1
fi
