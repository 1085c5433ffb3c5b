#!/bin/sh
# dec740 with the SetupAPI binding under Wine: a helper creates a device with the K740 hardware ID
# and a driver key naming oem12.inf, and one without a driver key; dec740 must find the first with
# its INF, section and files, say that the second has no driver without any letter group the updater
# takes for a display driver, end a disable with 2 naming the call Wine refuses, and never load a
# setupapi.dll or cfgmgr32.dll planted beside it.
# usage: dec740_test.sh DEC740_EXE DEVICE_HELPER_EXE PLANTED_DLL CONTROL_EXE
# Runs in the prefix named by WINEPREFIX. Exit 77 (skipped) when this machine's Wine cannot run it.
set -u
. "$(dirname "$0")/wine_lib.sh"
tool=$(abs "$1")
helper=$(abs "$2")
planted=$(abs "$3")
control=$(abs "$4")
wine_lib_start dec740

# run NAME PROGRAM ARGS...: $work/NAME.txt has stdout and stderr (LF line ends), $work/NAME.rc the
# exit code. The program runs in $work, where the planted libraries lie beside the tool's copy.
run() {
    name=$1
    shift
    run_wine "$name" "$work" 120 "$@"
    show_run "$name"
}
says() { grep -qiF -- "$2" "$work/$1.txt"; }
no_letter_group() { ! grep -qe ati -e amd -e 'Windows\\INF\\oem' "$work/$1.txt"; }

# The tool runs from a directory that also holds a stranger's setupapi.dll and cfgmgr32.dll; if
# either is loaded it leaves planted-dll-was-loaded.txt in the current directory. Wine is told to
# prefer such copies over its own, as Windows would take a file found first in the search order;
# the control program, loading them the usual way, shows that it does.
cp "$tool" "$work/dec740.exe"
cp "$control" "$work/planted_control.exe"
cp "$planted" "$work/setupapi.dll"
cp "$planted" "$work/cfgmgr32.dll"
usual_overrides="${WINEDLLOVERRIDES:-}"
prefer_planted="$usual_overrides;setupapi,cfgmgr32=n,b"

export WINEDLLOVERRIDES="$usual_overrides"
run create "$helper" create
if [ "$(exit_code create)" = 77 ]; then exit 77; fi
check "the helper creates the devices" test "$(exit_code create)" = 0

k740='PCI\VEN_1002&DEV_6828&SUBSYS_25401FA7'
export WINEDLLOVERRIDES="$prefer_planted"
run control "$work/planted_control.exe"
check "control: a usual load takes the planted library" test -e "$work/planted-dll-was-loaded.txt"
rm -f "$work/planted-dll-was-loaded.txt"

run files "$work/dec740.exe" driverfiles "$k740"
check "driverfiles exits with 0" test "$(exit_code files)" = 0
check "driverfiles names the device" says files 'ROOT\OVNK740\0000'
check "driverfiles names the INF and its section" says files '\INF\oem12.inf [ati2mtag_K740]'
check "driverfiles counts the section's files" says files '3 file(s) used by driver:'
check "driverfiles lists the miniport" says files '\system32\drivers\atikmdag.sys'
check "driverfiles lists a display file" says files '\system32\atiumdag.dll'
check "driverfiles matches one device" says files '1 device(s) found.'

run lower "$work/dec740.exe" driverfiles 'pci\ven_1002&dev_6828*'
check "a lower-case ID with a star finds the device too" says lower 'ROOT\OVNK740\0000'

run bare "$work/dec740.exe" driverfiles 'OVN\K740_NO_DRIVER'
check "a device without a driver key is found" test "$(exit_code bare)" = 0
check "a device without a driver key says so" says bare 'No driver is installed for this device.'
check "that output has no letter group" no_letter_group bare

run disable "$work/dec740.exe" disable "$k740"
check "disable ends with 2 under Wine" test "$(exit_code disable)" = 2
check "disable names the failing call" says disable 'SetupDiSetClassInstallParamsW failed'

run nomatch "$work/dec740.exe" enable 'ROOT\NO_SUCH_DEVICE'
check "no matching device ends with 2" test "$(exit_code nomatch)" = 2
run usage "$work/dec740.exe" frobnicate "$k740"
check "a wrong command ends with 3" test "$(exit_code usage)" = 3

check "no planted library was loaded" test ! -e "$work/planted-dll-was-loaded.txt"

export WINEDLLOVERRIDES="$usual_overrides"
run remove "$helper" remove
check "the helper removes the devices" test "$(exit_code remove)" = 0
run gone "$work/dec740.exe" driverfiles "$k740"
check "the removed device is gone" test "$(exit_code gone)" = 2

finish_checks "dec740 under Wine"
