#!/bin/sh
# OvnXsvfCheck.exe under Wine: the sample's report is the host build's golden, and its simulated
# play writes the trace.
# usage: xsvf_check_test.sh OVNXSVFCHECK_EXE SAMPLE_XSVF TEXT_GOLDEN
# Runs in the prefix named by WINEPREFIX. Exit 77 (skipped) when this machine's Wine cannot run it.
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sample=$2
golden=$3
. "$(dirname "$0")/wine_lib.sh"
wine_lib_start xsvf-check
run_stderr=apart
cp "$sample" "$work/k740_demo.xsvf"

run_wine report "$work" 120 "$exe" k740_demo.xsvf
if [ "$(exit_code report)" = 77 ]; then
    cat "$work/report.raw"
    exit 77
fi
check "the sample is valid: exit 0" test "$(exit_code report)" = 0
check "the report is the host build's golden" cmp -s "$golden" "$work/report.txt"
check "nothing on standard error" no_product_stderr "$work/report.err"

run_wine traced "$work" 120 "$exe" --trace trace.txt k740_demo.xsvf
check "the simulated play reaches XCOMPLETE: exit 0" test "$(exit_code traced)" = 0
check "the trace holds the IDCODE scan" \
    grep -q "^03:00.0 DR 32 tdi=00000000 tdo=0A740093 path=" "$work/trace.txt"
check "the trace has the sample's 12 lines" test "$(wc -l <"$work/trace.txt")" = 12
finish_checks "OvnXsvfCheck under Wine"
