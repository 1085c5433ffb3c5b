#!/bin/sh
# Installs what is missing, then configures, builds and tests both editions; nonzero when anything fails.
# The host edition runs twice: with AddressSanitizer/UBSan (host, every test) and with ThreadSanitizer
# (tsan: the test programs whose code starts threads, and the whole runs; any data race ends the test
# process with an error). The whole runs about trust, paths, planted files and the documents start the
# same threads as the others and run in the host preset only, as does the power-cut matrix.
# Order, for a 2-core machine: the Windows edition is built first; then three lanes share the cores:
# its Wine tests (one at a time, mostly waiting on Wine), the host preset, and the static analysis
# (scripts/static-analysis.sh, .clang-tidy) followed by the tsan preset. The background lanes keep
# their output in build/windows/wine-tests.log, build/analysis/static-analysis.log and
# build/tsan-lane.log; it is printed at the end.
# Wine: WINEDEBUG=-all throughout. The Windows tests' CTest fixture makes a fresh prefix under
# build/windows/wine on first use in a run and keeps its wineserver warm (a cold server holds the
# pipes of the first wine process open); the server is stopped at the end, also after a failure.
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)
start=$(date +%s)

if ! sh scripts/setup.sh; then
    echo "test-all: set-up failed"
    exit 1
fi
export WINEDEBUG=-all

wine_tests=""
tsan_lane=""
stop_background() {
    for pid in $wine_tests $tsan_lane; do kill "$pid" 2>/dev/null; done
    for prefix in "$root/build/windows/wine/prefix64" "$root/build/windows/wine/prefix32"; do
        [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    done
    return 0
}
trap stop_background EXIT
trap 'exit 130' INT TERM

failed=""
mkdir -p build/analysis build/windows
wine_log=build/windows/wine-tests.log
analysis_log=build/analysis/static-analysis.log
tsan_log=build/tsan-lane.log
rm -f build/analysis/status

step=$(date +%s)
if cmake --preset windows && cmake --build --preset windows; then
    echo "test-all: windows built in $(($(date +%s) - step)) s; its Wine tests go on beside the host edition"
    (
        wine_start=$(date +%s)
        if ctest --preset windows; then
            echo "test-all: windows tests passed in $(($(date +%s) - wine_start)) s"
        else
            echo "test-all: windows tests FAILED after $(($(date +%s) - wine_start)) s"
            exit 1
        fi
    ) >"$wine_log" 2>&1 &
    wine_tests=$!
else
    echo "test-all: windows build FAILED after $(($(date +%s) - step)) s"
    failed="$failed windows"
fi
# The analysis first in its lane: it needs no build of its own, and the tsan preset after it then
# meets the host preset's tests rather than its build.
(
    sh scripts/static-analysis.sh >"$analysis_log" 2>&1
    echo $? >build/analysis/status
    step=$(date +%s)
    if cmake --workflow --preset tsan; then
        echo "test-all: tsan passed in $(($(date +%s) - step)) s"
    else
        echo "test-all: tsan FAILED after $(($(date +%s) - step)) s"
        exit 1
    fi
) >"$tsan_log" 2>&1 &
tsan_lane=$!

step=$(date +%s)
if cmake --workflow --preset host; then
    echo "test-all: host passed in $(($(date +%s) - step)) s"
else
    echo "test-all: host FAILED after $(($(date +%s) - step)) s"
    failed="$failed host"
fi

# collect_lane PID LOG WHAT NAME: waits for a background lane and prints its log; a lane that
# failed adds NAME to the failures.
collect_lane() {
    wait "$1"
    lane_status=$?
    echo "test-all: $3 output ($2):"
    cat "$2"
    [ "$lane_status" -eq 0 ] || failed="$failed $4"
}
if [ -n "$wine_tests" ]; then
    collect_lane "$wine_tests" "$wine_log" "the Wine tests'" windows
    wine_tests=""
fi
collect_lane "$tsan_lane" "$tsan_log" "the static analysis and tsan lane's" tsan
tsan_lane=""
if [ "$(cat build/analysis/status 2>/dev/null)" = 0 ]; then
    tail -n 1 "$analysis_log" | sed 's/^static-analysis/test-all: static analysis/'
else
    cat "$analysis_log"
    echo "test-all: static analysis FAILED"
    failed="$failed static-analysis"
fi

echo "test-all: finished in $(($(date +%s) - start)) s"
if [ -n "$failed" ]; then
    echo "test-all: failed:$failed"
    exit 1
fi
