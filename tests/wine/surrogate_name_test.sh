#!/bin/sh
# An image name holding an unpaired surrogate (U+D800), which only a wide command line carries: the
# updater started with it through CreateProcessW keeps the name whole in last-run.json, escaped as
# "k740\uD800.xsvf" with nameEscaped true, in a file that is valid JSON, and its exit code is the
# process's. Where Wine can make a file of that name, the image is also opened and programmed.
# usage: surrogate_name_test.sh UPDATER_EXE LAUNCHER_EXE DEMO_XSVF
# Runs in the prefix named by WINEPREFIX (the shared test prefix). Exit 77 (skipped) when this
# machine's Wine cannot run the exes.
set -u
exe=$1 launcher=$2 demo=$3
. "$(dirname "$0")/wine_lib.sh"
wine_lib_start surrogate

mkdir -p "$work/bin" "$work/state"
cp "$exe" "$work/bin/OvnK740FpgaUpdater.exe"
cp "$launcher" "$work/bin/surrogate_launcher.exe"
OVN_SIM_STATE=$(winpath "$work/state")
export OVN_SIM_STATE
result="$WINEPREFIX/drive_c/ProgramData/Orvane/OvnK740FpgaUpdater/last-run.json"
run_stderr=apart

# The result's members, one per line, as a JSON reader sees them.
members() {
    python3 -c 'import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
image = d["commandLine"]["image"]
print("exitCode=%s" % d["outcome"]["exitCode"])
print("name=%s" % image["name"])
print("nameEscaped=%s" % json.dumps(image["nameEscaped"]))
print("sha256=%s" % image["sha256"])' "$1"
}
valid_json() { python3 -m json.tool "$1" >/dev/null; }
# member FILE LINE: the members FILE holds LINE (a failed check shows the file).
member() { grep -qxF -- "$2" "$1"; }

# launch NAME [SOURCE]: the launcher in $work/bin; the result it left is NAME.json, its members
# NAME.members.
launch() {
    launch_name=$1
    shift
    rm -f "$result"
    run_wine "$launch_name" "$work/bin" 300 surrogate_launcher.exe OvnK740FpgaUpdater.exe "$@"
    show_run "$launch_name"
    if [ "$(exit_code "$launch_name")" = 77 ]; then exit 77; fi
    cp "$result" "$work/$launch_name.json" 2>/dev/null
    members "$work/$launch_name.json" >"$work/$launch_name.members" 2>&1
}

# checks_for NAME CODE: the result of that run holds its exit code and the escaped name.
checks_for() {
    check "$1: the result is written" test -f "$work/$1.json"
    check "$1: the result is valid JSON" valid_json "$work/$1.json"
    check "$1: the result's exit code is the process's" member "$work/$1.members" "exitCode=$2"
    # The string's value is k740\uD800.xsvf; the JSON text doubles its backslash.
    check "$1: the JSON text holds the escaped name" has "$work/$1.json" '"name": "k740\\uD800.xsvf"'
    check "$1: the name's value is the escaped form" member "$work/$1.members" 'name=k740\uD800.xsvf'
    check "$1: nameEscaped is true" member "$work/$1.members" "nameEscaped=true"
}

# The name names no file: the cards are listed, then the open fails with 2.
launch missing
check "missing: exit code 2 (got $(exit_code missing))" test "$(exit_code missing)" = 2
check "missing: the open error" has "$work/missing.txt" "Error: Unable to open file k740"
checks_for missing 2
check "missing: no SHA-256 of a file that could not be read" member "$work/missing.members" "sha256=None"

# A file of that name: it is programmed like any other image, with 0.
launch present "$(winpath "$(abs "$demo")")"
if [ "$(exit_code present)" = 120 ]; then
    echo "NOTE: this Wine cannot make a file whose name holds an unpaired surrogate; not programmed"
else
    check "present: exit code 0 (got $(exit_code present))" test "$(exit_code present)" = 0
    check "present: reaches 100%" has "$work/present.txt" "100%"
    checks_for present 0
    check "present: the SHA-256 of the image's bytes" member "$work/present.members" \
        "sha256=$(sha256sum "$demo" | cut -c1-64)"
fi

finish_checks "surrogate image name under Wine"
