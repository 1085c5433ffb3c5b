#!/bin/sh
# The simulation build's dec740 under Wine: it reads the simulated machine file and keeps device
# states in the state directory, as the simulated driver-access library does.
# usage: dec740_simulation_test.sh DEC740_SIMULATION_EXE
# Runs in the prefix named by WINEPREFIX. Exit 77 (skipped) when this machine's Wine cannot run it.
set -u
. "$(dirname "$0")/wine_lib.sh"
tool=$(abs "$1")
wine_lib_start dec740-sim
cat >"$work/machine.json" <<'JSON'
{"cards": [{"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000",
            "display": {"driver": {"infPath": "oem7.inf", "infSection": "ati2mtag_K740",
                                   "files": ["C:\\Windows\\system32\\drivers\\atikmdag.sys"]},
                        "disable": "afterRestart"}}]}
JSON
export OVN_SIM_MACHINE="Z:$work/machine.json" OVN_SIM_STATE="Z:$work/state"
run() {  # run NAME ARGS...: the tool in $work; NAME.txt its output, NAME.rc its exit code
    name=$1
    shift
    run_wine "$name" "$work" 120 "$tool" "$@"
    show_run "$name"
}
k740='PCI\VEN_1002&DEV_6828&SUBSYS_25401FA7'
run files driverfiles "$k740"
if [ "$(exit_code files)" = 77 ]; then exit 77; fi
check "driverfiles exits with 0" test "$(exit_code files)" = 0
check "driverfiles names the simulated INF" grep -qF 'C:\Windows\INF\oem7.inf [ati2mtag_K740]' "$work/files.txt"
run disable disable "$k740"
check "a disable that waits for a restart ends with 1" test "$(exit_code disable)" = 1
check "the state directory holds the waiting disable" grep -q pendingDisabled "$work/state/host.json"
run enable enable "$k740"
check "enable ends with 0" test "$(exit_code enable)" = 0
finish_checks "simulated dec740 under Wine"
