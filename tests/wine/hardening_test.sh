#!/bin/sh
# The elevated exe under Wine: libraries planted beside it never load, and an image whose name is
# in Cyrillic and CJK is listed, programmed and named correctly on the console and in the log.
# usage: hardening_test.sh UPDATER_EXE PLANTED_DLL CONTROL_EXE DEMO_XSVF
# Runs in the prefix named by WINEPREFIX (the shared test prefix). Exit 77 (skipped) when this
# machine's Wine cannot run the exe.
set -u
exe=$1 planted=$2 control=$3 demo=$4
. "$(dirname "$0")/wine_lib.sh"
wine_lib_start hardening
no_marker() { [ -z "$(find "$work/bin" -iname '*.loaded' | head -n 1)" ]; }

mkdir -p "$work/bin" "$work/state"
cp "$exe" "$work/bin/OvnK740FpgaUpdater.exe"
cp "$control" "$work/bin/planted_control.exe"
cp "$planted" "$work/bin/powrprof.dll"
cp "$planted" "$work/bin/wtsapi32.dll"
# Wine prefers its own copies of these libraries; this makes it search the way Windows does, where
# a library beside the exe comes first for everything that is not a known system library.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};powrprof,wtsapi32=n,b"
# Wine turns the Unix arguments into wide text by the locale's character set.
export LC_ALL=C.UTF-8
OVN_SIM_STATE="Z:$(printf '%s' "$work/state" | tr / '\\')"
export OVN_SIM_STATE

run_stderr=apart
run() {  # run RUN ARGS...: the exe in $work/bin (wine_lib.sh's run_wine)
    run_name=$1
    shift
    run_wine "$run_name" "$work/bin" 180 OvnK740FpgaUpdater.exe "$@"
}

# The control proves the set-up: a program importing powrprof.dll the usual way picks up the copy.
run_stderr=joined
run_wine control "$work/bin" 60 planted_control.exe
run_stderr=apart
if [ "$(exit_code control)" = 77 ]; then
    cat "$work/control.txt"
    exit 77
fi
check "control: a usual import loads the planted powrprof.dll" test -n "$(find "$work/bin" -iname 'powrprof.dll.loaded')"
find "$work/bin" -iname '*.loaded' -exec rm -f {} +

image="прошивка_固件.xsvf"
cp "$demo" "$work/bin/$image"
log_dir=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Local' | head -n 1)
log="$log_dir/Orvane/OvnK740FpgaUpdater/OvnK740FpgaUpdater.log"
rm -f "$log"

# Listing, with a name that does not exist: the error names it as written, the cards are listed.
run listing -q -f "missing_$image"
if [ "$(exit_code listing)" = 77 ]; then
    cat "$work/listing.raw"
    exit 77
fi
check "listing: exit code 2 (got $(exit_code listing))" test "$(exit_code listing)" = 2
check "listing: the open error shows the name" has "$work/listing.txt" "Error: Unable to open file missing_$image"
check "listing: both cards" has "$work/listing.txt" "   Found 2 Orvane K740 graphics cards:"

# Programming from the file of that name.
run program -q -b -f "$image"
check "programming: exit code 0 (got $(exit_code program))" test "$(exit_code program)" = 0
check "programming: the console shows the name" has "$work/program.txt" "   XSVF update file: $image"
check "programming: reaches 100%" has "$work/program.txt" "100%"
check "programming: the log shows the name" has "$log" "   XSVF update file: $image"

check "no planted library was loaded" no_marker
finish_checks "hardening under Wine"
