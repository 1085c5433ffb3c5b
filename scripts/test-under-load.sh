#!/bin/sh
# Runs the whole suite (scripts/test-all.sh) N times in a row beside two CPU-bound processes, as on
# a busy 2-core machine; one line per run: its number, pass or fail, and its seconds.
# usage: test-under-load.sh [N]        (N runs, 3 by default)
#        test-under-load.sh --dry-run [N]   starts and stops the burners, runs nothing
# The burners are always stopped, also after a failure or Ctrl+C; nonzero when any run failed.
set -u
cd "$(dirname "$0")/.."
dry=0
if [ "${1:-}" = --dry-run ]; then
    dry=1
    shift
fi
runs=${1:-3}
case $runs in
'' | *[!0-9]* | 0)
    echo "usage: test-under-load.sh [--dry-run] [N]   (N: a whole number of runs, at least 1)"
    exit 2
    ;;
esac

burners=""
stop_burners() {
    for pid in $burners; do kill "$pid" 2>/dev/null; done
    burners=""
}
trap stop_burners EXIT
trap 'exit 130' INT TERM
for _ in 1 2; do
    sh -c 'while :; do :; done' &
    burners="$burners $!"
done
echo "test-under-load: burners$burners running; $runs run(s) of scripts/test-all.sh"

failed=0
run=1
while [ "$run" -le "$runs" ]; do
    start=$(date +%s)
    log="build/test-under-load-$run.log"
    if [ "$dry" = 1 ]; then
        result="skipped (dry run)"
    elif mkdir -p build && sh scripts/test-all.sh >"$log" 2>&1; then
        result=passed
    else
        result="FAILED (see $log)"
        failed=$((failed + 1))
    fi
    echo "test-under-load: run $run of $runs $result in $(($(date +%s) - start)) s"
    run=$((run + 1))
done
stop_burners
echo "test-under-load: $((runs - failed)) of $runs run(s) passed"
[ "$failed" = 0 ]
