#!/bin/sh
# Whole restart cycles of the simulation build under Wine. A restart is the end of the Wine session
# (its next start runs the RunOnce entries and waits for them); before it, the simulated machine
# applies its pending disable. The suite's doubles stand in the program files directory.
# usage: cycle_test.sh UPDATER_EXE PLUXCMD_EXE PLUXCORE_EXE APPLY_RESTART_EXE DEMO_XSVF
# Runs in the prefix named by WINEPREFIX. Exit 77 (skipped) when this machine's Wine cannot run it.
set -u
. "$(dirname "$0")/wine_lib.sh"
exe=$(abs "$1")
pluxcmd=$(abs "$2")
pluxcore=$(abs "$3")
apply_restart=$(abs "$4")
demo=$(abs "$5")
wine_lib_start cycle
suite=$(suite_dir)
log=$(updater_log)
# The admin-only working folder: the tool, the settings file and the copies a resume starts from.
folder="$WINEPREFIX/drive_c/ProgramData/Orvane/OvnK740FpgaUpdater"
folder_win='C:\ProgramData\Orvane\OvnK740FpgaUpdater'
cleanup() {
    rm -rf "$WINEPREFIX/drive_c/Program Files (x86)/Orvane Graphics" \
        "$WINEPREFIX/drive_c/Program Files/Orvane Graphics"
    rm -f "$folder/pxcfg.txt" "$log"
}
mkdir -p "$suite" "$work/bin"
cp "$pluxcmd" "$pluxcore" "$suite/"
# Odd length, a percent sign and a zero 16-bit unit: every byte must come back.
printf '%%PX\000\000cfg\377' >"$suite/settings.bin"
cp "$exe" "$work/bin/OvnK740FpgaUpdater.exe"
cp "$demo" "$work/bin/image.xsvf"
image="Z:$(echo "$work/bin/image.xsvf" | tr / '\\')"

config_stored() {
    for view in 32 64; do
        timeout --foreground 60 "$wine_run" reg query \
            'HKLM\Software\Orvane Graphics\OvnK740FpgaUpdater' /v Config /reg:$view \
            </dev/null >/dev/null 2>&1 && return 0
    done
    return 1
}
no_config_stored() { ! config_stored; }

# No display driver: the default machine programs its cards and never touches the driver.
export OVN_SIM_STATE="Z:$work/state-plain"
run_updater plain -q -b -f "$image"
check "a run without a display driver ends with 0" test "$(cat "$work/plain.rc")" = 0
check "it programs the cards" has "$work/plain.txt" "Execution time = "
check "it registers nothing to run once" test -z "$(run_once)"
check "it never runs the suite" test ! -e "$suite/records.txt"

# Disable needs a restart: run-once = the resume line, "Config" = the settings.
cat >"$work/machine.json" <<'JSON'
{"cards": [{"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000",
            "display": {"driver": {"infPath": "oem12.inf", "infSection": "K740",
                                   "files": ["C:\\Windows\\system32\\drivers\\k740disp.sys"]},
                        "disable": "afterRestart"}}]}
JSON
export OVN_SIM_MACHINE="Z:$work/machine.json" OVN_SIM_STATE="Z:$work/state"
run_updater first -q -b -f "$image"
check "the first run ends with 0" test "$(cat "$work/first.rc")" = 0
check "it says that the disable needs a restart" \
    has "$work/first.txt" "For the display driver to be disabled, your system must be restarted."
check "it exported the settings" has "$suite/records.txt" "export"
run_once >"$work/runonce1.txt"
check "the resume line names the copies in the working folder" grep -qF -- \
    "\"$folder_win\\OvnK740FpgaUpdater.exe\" -q -b -f \"$folder_win\\resume.xsvf\"" \
    "$work/runonce1.txt"
check "the settings are stored in Config" config_stored
echo "run once:"; cat "$work/runonce1.txt"
rm -f "$folder/pxcfg.txt"  # the resumed run must rebuild it from Config

imports_before=$(imports)
restart
check "the resumed run programmed the cards" has "$log" "Execution time = "
run_once >"$work/runonce2.txt"
check "the resumed run registered the import" import_arranged "$work/runonce2.txt" "$imports_before"
check "Config is gone after the resumed run" no_config_stored
check "the export ran only once" test "$(grep -c export "$suite/records.txt")" = 1
echo "run once:"; cat "$work/runonce2.txt"

restart
check "the import ran at the second logon" has "$suite/records.txt" "import 9"
check "the import saw the original bytes" cmp -s "$suite/settings.bin" "$suite/imported.bin"

# --noreboot two-step: 3, the same command again before the restart (from another folder, the image
# named by a relative path) says so and is 3 again without touching anything, and after the restart
# the same command finishes the update. The restart is the end of the Wine session.
export OVN_SIM_STATE="Z:$work/state-noreboot"
mkdir -p "$work/one" "$work/two"
cp "$demo" "$work/one/image.xsvf"
cp "$demo" "$work/two/image.xsvf"
exports_before=$(grep -c export "$suite/records.txt")
# One Wine session for both starts before the restart: an idle server that ended by itself would be
# a restart to the utility.
wineserver -k
persistent_server
run_wine noreboot-first "$work/one" 300 "$work/bin/OvnK740FpgaUpdater.exe" -n -q -b -f image.xsvf
show_run noreboot-first
check "--noreboot ends with 3 when the disable needs a restart" \
    test "$(exit_code noreboot-first)" = 3
check "it says the restart is for disabling" has "$work/noreboot-first.txt" \
    "For the display driver to be disabled, your system must be restarted."
check "it registers nothing to run once" test -z "$(run_once)"
run_wine noreboot-early "$work/two" 300 "$work/bin/OvnK740FpgaUpdater.exe" -n -q -b -f image.xsvf
show_run noreboot-early
check "the same command before the restart ends with 3 again" \
    test "$(exit_code noreboot-early)" = 3
check "it says the restart has not been made" has "$work/noreboot-early.txt" \
    "the computer has not been restarted since"
check "it does not claim a second restart was asked for" \
    lacks "$work/noreboot-early.txt" "after the restart made for it"
check "the settings are still stored in Config" config_stored
check "the export ran once for this cycle" \
    test "$(grep -c export "$suite/records.txt")" = $((exports_before + 1))
restart
run_wine noreboot-after "$work/two" 300 "$work/bin/OvnK740FpgaUpdater.exe" -n -q -b -f image.xsvf
show_run noreboot-after
check "after the restart the same command finishes with 4" test "$(exit_code noreboot-after)" = 4
check "it programmed the cards" has "$work/noreboot-after.txt" "Execution time = "
check "Config is gone after it" no_config_stored

# One run at a time: a start while a run waits at its prompt is refused with 11 and lists nothing.
export OVN_SIM_STATE="Z:$work/state-plain"
unset OVN_SIM_MACHINE
rm -f "$work/prompt"
mkfifo "$work/prompt"
(cd "$work/bin" && timeout --foreground 300 "$wine_run" OvnK740FpgaUpdater.exe -b -f "$image" \
    <"$work/prompt" >"$work/waiting.raw" 2>&1; echo $? >"$work/waiting.rc") &
waiting=$!
exec 7>"$work/prompt"
waited=0
until grep -qF "Press 'y' to continue" "$work/waiting.raw" 2>/dev/null || [ $waited -ge 240 ]; do
    sleep 1
    waited=$((waited + 1))
done
run_updater busy -q
check "a second start while a run waits is refused with 11" test "$(exit_code busy)" = 11
check "it says another run is in progress" \
    has "$work/busy.txt" "Error: Another OvnK740FpgaUpdater run is in progress on this computer."
check "it lists no card" lacks "$work/busy.txt" "Found"
run_updater busy-help -h
check "help still works beside the running run" has "$work/busy-help.txt" "command line options"
printf 'nx' >&7
exec 7>&-
wait $waiting
check "the waiting run ends after its no" test "$(cat "$work/waiting.rc")" = 0
run_updater after-busy -q
check "once that run has ended the next start lists the cards" \
    has "$work/after-busy.txt" "Orvane K740 graphics card"

# A dec740 command that never ends: the run ends it at its 60 s limit (TerminateProcess), which the
# simulation build's clock passes a thousand times faster, and fails the command: exit 10.
forget_cycle() {
    for view in 32 64; do
        for value in '!OvnK740FpgaUpdater' '!OvnK740FpgaUpdaterResume' '!OvnK740FpgaUpdaterImport' \
            '!OvnK740FpgaUpdaterRepair'; do
            timeout --foreground 60 "$wine_run" reg delete \
                'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v "$value" /f /reg:$view \
                </dev/null >/dev/null 2>&1
        done
    done
    timeout --foreground 60 "$wine_run" reg delete 'HKLM\Software\Orvane Graphics' /f \
        </dev/null >/dev/null 2>&1
}
for hang in disable enable; do
    cat >"$work/machine-hang.json" <<JSON
{"cards": [{"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000",
            "display": {"driver": {"infPath": "oem12.inf", "infSection": "K740",
                                   "files": ["C:\\\\Windows\\\\system32\\\\drivers\\\\k740disp.sys"]},
                        "hang": "$hang"}}]}
JSON
    rm -f "$log"
    export OVN_SIM_MACHINE="Z:$work/machine-hang.json" OVN_SIM_STATE="Z:$work/state-hang-$hang"
    export OVN_SIM_TIME_SCALE=1000
    run_updater "hang-$hang" -q -b -f "$image"
    unset OVN_SIM_TIME_SCALE
    check "a $hang that never ends fails the run with 10" test "$(cat "$work/hang-$hang.rc")" = 10
    check "the $hang was ended at its limit" has "$log" "did not end within 60 seconds: it was ended."
    check "no restart is made after the $hang" lacks "$work/hang-$hang.txt" "will be restarted now"
    # A failed enable keeps its entry for the next logon: it belongs to this test alone.
    forget_cycle
done

finish_cycle_checks cycle
