#!/bin/sh
# The simulation build's dec740 under Wine: it reads the simulated machine file and keeps device
# states in the state directory, as the simulated driver-access library does.
# usage: dec740_simulation_test.sh DEC740_SIMULATION_EXE
# Runs in the prefix named by WINEPREFIX. Exit 77 (skipped) when this machine's Wine cannot run it.
set -u
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../scripts/wine-run.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/ovn-dec740-sim.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {
    desc=$1
    shift
    "$@" && return 0
    echo "FAIL: $desc"
    failures=$((failures + 1))
}
cat >"$work/machine.json" <<'JSON'
{"cards": [{"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000",
            "display": {"driver": {"infPath": "oem7.inf", "infSection": "ati2mtag_K740",
                                   "files": ["C:\\Windows\\system32\\drivers\\atikmdag.sys"]},
                        "disable": "afterRestart"}}]}
JSON
export OVN_SIM_MACHINE="Z:$work/machine.json" OVN_SIM_STATE="Z:$work/state"
run() {
    name=$1
    shift
    (cd "$work" && timeout --foreground 120 "$wine_run" "$tool" "$@" </dev/null >"$name.raw" 2>&1)
    echo $? >"$work/$name.rc"
    tr -d '\r' <"$work/$name.raw" >"$work/$name.txt"
    echo "--- $name (exit $(cat "$work/$name.rc"))"
    cat "$work/$name.txt"
}
k740='PCI\VEN_1002&DEV_6828&SUBSYS_25401FA7'
run files driverfiles "$k740"
if [ "$(cat "$work/files.rc")" = 77 ]; then exit 77; fi
check "driverfiles exits with 0" test "$(cat "$work/files.rc")" = 0
check "driverfiles names the simulated INF" grep -qF 'C:\Windows\INF\oem7.inf [ati2mtag_K740]' "$work/files.txt"
run disable disable "$k740"
check "a disable that waits for a restart ends with 1" test "$(cat "$work/disable.rc")" = 1
check "the state directory holds the waiting disable" grep -q pendingDisabled "$work/state/host.json"
run enable enable "$k740"
check "enable ends with 0" test "$(cat "$work/enable.rc")" = 0
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all simulated dec740 checks passed"
