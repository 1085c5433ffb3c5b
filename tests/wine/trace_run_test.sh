#!/bin/sh
# The JTAG trace of the simulation build under Wine: with Trace set under the utility's HKLM key,
# a programming run writes trace-<runId>.txt into C:\ProgramData\Orvane\OvnK740FpgaUpdater, and
# its lines equal, card for card, those the simulated chains write (OVN_SIM_TRACE) once the PACE
# lines are left out. Without the value nothing is written.
# usage: trace_run_test.sh UPDATER_EXE DEMO_XSVF
# Runs in the prefix named by WINEPREFIX. Exit 77 (skipped) when this machine's Wine cannot run
# the exe.
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
demo=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
. "$(dirname "$0")/wine_lib.sh"
wine_lib_start trace

key='HKLM\SOFTWARE\Orvane Graphics\OvnK740FpgaUpdater'
folder="$WINEPREFIX/drive_c/ProgramData/Orvane/OvnK740FpgaUpdater"
reg() { timeout --foreground 60 "$wine_run" reg "$@" </dev/null >/dev/null 2>&1; }
# The 32-bit utility reads the 32-bit view, its 64-bit build the native one: the value goes in both.
set_trace() {
    for view in 32 64; do reg add "$key" /v Trace /t REG_DWORD /d "$1" /f "/reg:$view"; done
}
cleanup() {
    for view in 32 64; do reg delete "$key" /v Trace /f "/reg:$view"; done
    rm -f "$folder"/trace-*
}
run() {
    name=$1
    shift
    run_wine "$name" "$work" 180 "$exe" "$@"
}
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
run_id() { sed -n 's/.*"runId": "\([0-9a-f]\{32\}\)".*/\1/p' "$folder/last-run.json" | head -n 1; }
# card_lines FILE PLACE: the card's lines without CR and without PACE lines.
card_lines() { tr -d '\r' <"$1" | grep "^$2 " | grep -v "^$2 PACE "; }
same_card() {
    card_lines "$1" "$3" >"$work/port-$3.txt"
    card_lines "$2" "$3" >"$work/chain-$3.txt"
    [ -s "$work/chain-$3.txt" ] && cmp -s "$work/port-$3.txt" "$work/chain-$3.txt" ||
        { diff "$work/port-$3.txt" "$work/chain-$3.txt" | head -20; return 1; }
}

cp "$demo" "$work/demo.xsvf"
mkdir -p "$work/state"
OVN_SIM_STATE=$(windows_path "$work/state")
OVN_SIM_TRACE=$(windows_path "$work/chain.txt")
export OVN_SIM_STATE OVN_SIM_TRACE

run probe -h
if [ "$(exit_code probe)" = 77 ]; then
    cat "$work/probe.raw"
    exit 77
fi

rm -f "$folder"/trace-*
set_trace 1
run traced -q -b -f demo.xsvf
check "the traced run exits with 0 (got $(exit_code traced))" test "$(exit_code traced)" = 0
id=$(run_id)
trace="$folder/trace-$id.txt"
check "the trace is trace-<runId>.txt in C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater" test -n "$id" -a -f "$trace"
check "no temporary name is left beside it" test "$(find "$folder" -name 'trace-*' | wc -l)" = 1
check "the simulated chains wrote their trace" test -s "$work/chain.txt"
if [ -f "$trace" ]; then
    for place in 03:00.0 04:00.0; do
        check "card $place: the utility's trace equals the chain's" same_card "$trace" "$work/chain.txt" "$place"
        check "card $place: the trace diff script finds them the same" \
            python3 "$source_dir/scripts/jtag-trace-diff.py" --card-a "$place" --card-b "$place" \
            "$work/chain.txt" "$trace"
        check "card $place: one PACE line" test "$(grep -c "^$place PACE delay=[0-9]* writesPerSecond=[0-9]*$" "$trace")" = 1
    done
fi

rm -rf "$work/state" "$work/chain.txt" "$folder"/trace-*
mkdir -p "$work/state"
set_trace 0
run untraced -q -b -f demo.xsvf
check "with Trace 0 the run exits with 0 (got $(exit_code untraced))" test "$(exit_code untraced)" = 0
check "with Trace 0 no trace is written" test "$(find "$folder" -name 'trace-*' | wc -l)" = 0

finish_checks "JTAG trace under Wine"
