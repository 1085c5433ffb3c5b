#!/bin/sh
# OvnK740FpgaUpdater.exe under Wine: command-line texts and exit codes, and the log file of a run.
# usage: updater_run_test.sh UPDATER_EXE HELP_GOLDEN [DEMO_XSVF]
# Runs in the prefix named by WINEPREFIX (the shared test prefix). Exit 77 (skipped) when this
# machine's Wine cannot run the exe.
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
golden=$2
. "$(dirname "$0")/wine_lib.sh"
wine_lib_start updater

# run NAME ARGS...: the exe in $work (wine_lib.sh's run_wine); its standard error in NAME.err.
run_stderr=apart
run() {
    name=$1
    shift
    run_wine "$name" "$work" 180 "$exe" "$@"
}
same_text() { cmp -s "$1" "$2" || { diff "$1" "$2" | head -20; return 1; }; }
# The CRT writes the console text in text mode: every line break is CR LF, none is a bare LF.
crlf_only() { awk 'substr($0, length($0)) != "\r" { bad = 1 } END { exit bad }' "$1"; }
followed_by() {  # followed_by FILE LINE NEXT: LINE, then NEXT on the line after it
    awk -v a="$2" -v b="$3" '{ sub(/\r$/, "") } prev == a && $0 == b { found = 1 } { prev = $0 }
        END { exit !found }' "$1"
}
expect_text() {  # expect_text NAME TEXT(printf format)
    printf "$2" >"$work/$1.expected"
    same_text "$work/$1.expected" "$work/$1.txt"
}

run help -h
if [ "$(exit_code help)" = 77 ]; then
    cat "$work/help.raw"
    exit 77
fi
check "-h prints the help text exactly" same_text "$golden" "$work/help.txt"
check "-h exits with 0" test "$(exit_code help)" = 0
check "-h output ends its lines with CR LF only" crlf_only "$work/help.raw"
# Wine's loader and the background programs a first Wine process starts (with that process's
# standard error) may add their own lines there: only the program's own count.
check "-h writes nothing to stderr" no_product_stderr "$work/help.err"

run invalid -x -y
check "-x -y: two invalid-parameter lines and the hint" expect_text invalid \
    "\n\nError: Invalid parameter: '-x'.\nError: Invalid parameter: '-y'.\n\nFor more information, see the help file [-h].\n\n"
check "-x -y exits with 12 (an option error)" test "$(exit_code invalid)" = 12

run flash_eq --flash=file.xsvf
check "--flash=file.xsvf is an invalid parameter" expect_text flash_eq \
    "\n\nError: Invalid parameter: '--flash=file.xsvf'.\n\nFor more information, see the help file [-h].\n\n"
check "--flash=file.xsvf exits with 12" test "$(exit_code flash_eq)" = 12

run f_last -q -f
check "-f last: the missing-parameter message and the hint" expect_text f_last \
    "\n\n-f is specified but parameter is missing.\n\nFor more information, see the help file [-h].\n\n"
check "-f last exits with 12" test "$(exit_code f_last)" = 12

run help_first -q -h -z
check "-q -h -z prints the help text and never examines -z" same_text "$golden" "$work/help_first.txt"
check "-q -h -z exits with 0" test "$(exit_code help_first)" = 0

banner="Orvane K740 FPGA Update Utility - Version 1.0.0.21"
# -F is -f: the run goes on past the parser to the banner. The file does not exist, so the run ends
# with 1 (no driver-access library here) or, once the cards are listed, with 2.
run upper_f -q -F missing.xsvf
check "-F file is accepted" lacks "$work/upper_f.txt" "Invalid parameter"
check "-F file: the run starts with the banner" has "$work/upper_f.txt" "$banner"
rc=$(exit_code upper_f)
check "-F file ends with 1 or 2 (got $rc)" test "$rc" = 1 -o "$rc" = 2
if [ "$rc" = 2 ]; then
    check "-F missing file: the open error" has "$work/upper_f.txt" "Error: Unable to open file missing.xsvf"
fi

# The log: two runs without arguments, each appending its part to the same file.
log_dir=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Local' | head -n 1)
log="$log_dir/Orvane/OvnK740FpgaUpdater/OvnK740FpgaUpdater.log"
rm -f "$log"
run first
run second
check "no arguments: the banner follows the parser's blank lines" \
    test "$(head -c $((${#banner} + 6)) "$work/first.raw" | od -An -c | tr -d ' \n')" = \
    "$(printf '\r\n\r\n%s\r\n' "$banner" | od -An -c | tr -d ' \n')"
check "no arguments exits with 1 (got $(exit_code first))" test "$(exit_code first)" = 1
check "the log is under LOCALAPPDATA\\Orvane\\OvnK740FpgaUpdater" test -f "$log"
if [ -f "$log" ]; then
    check "the log holds the banner line with CR LF, once per run" \
        test "$(grep -c "^$banner$(printf '\r')\$" "$log")" = 2
    check "the log has no bare LF" crlf_only "$log"
    check "the log holds no console-only parser text" lacks "$log" "Invalid parameter"
fi

# Listing and programming the default simulated machine through the installed simulated library.
# The simulated machine keeps its FPGA configurations in a state directory of this test only.
demo=${3:-}
if [ -n "$demo" ]; then
    mkdir -p "$work/state"
    OVN_SIM_STATE="Z:$(printf '%s' "$work/state" | tr / '\\')"
    export OVN_SIM_STATE
    cp "$demo" "$work/demo.xsvf"

    run list -q
    check "listing: both cards with their versions" expect_text list \
        "\n\n$banner\nCopyright (C) Orvane Graphics Inc. 2016\n\n   Found 2 Orvane K740 graphics cards:\n   PCIe Bus: 0x0300   FPGA version: 1.2.7\n   PCIe Bus: 0x0400   FPGA version: 1.3.0\n\n"
    check "listing exits with 1 (got $(exit_code list))" test "$(exit_code list)" = 1
    # The result file: under the ProgramData known folder, as the README says.
    result="$WINEPREFIX/drive_c/ProgramData/Orvane/OvnK740FpgaUpdater/last-run.json"
    check "listing: the result is C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\last-run.json" test -f "$result"
    if [ -f "$result" ]; then
        check "listing: the result is an inventory" has "$result" '"kind": "inventory"'
        check "listing: the result has the console's exit code" has "$result" '"exitCode": 1,'
        check "listing: the result has both cards' versions" \
            test "$(grep -c -e '"versionBefore": "1.2.7"' -e '"versionBefore": "1.3.0"' "$result")" = 2
    fi

    printf '\037\001' >"$work/bad.xsvf"
    run malformed -q -f bad.xsvf
    check "a malformed image is refused with the player's code 4 (got $(exit_code malformed))" \
        test "$(exit_code malformed)" = 4
    check "a malformed image is named and nothing is programmed" has "$work/malformed.txt" "The XSVF file is malformed"
    check "a malformed image never reaches the programming step" lacks "$work/malformed.txt" "Programming the FPGA"

    rm -f "$log"
    run program -q -b -f demo.xsvf
    check "programming exits with 0 (got $(exit_code program))" test "$(exit_code program)" = 0
    check "programming reaches 100%" has "$work/program.txt" "100%"
    check "programming reports the execution time" has "$work/program.txt" "Execution time = "
    check "programming: no bell with --nobeep" lacks "$work/program.raw" "$(printf '\007')"
    check "the log holds the progress line and the time" has "$log" "Programming the FPGA:....... 00%     "
    check "the log holds the execution time" has "$log" "Execution time = "
    if [ -f "$result" ]; then
        cp "$result" "$work/program.json"
        check "programming: the result has the console's exit code" has "$work/program.json" \
            "\"exitCode\": $(exit_code program),"
        check "programming: the result is an update of demo.xsvf with its SHA-256" has "$work/program.json" \
            "\"sha256\": \"$(sha256sum "$demo" | cut -c1-64)\""
        check "programming: both cards verified at 1.4.2" \
            test "$(grep -c '"versionAfter": "1.4.2"' "$work/program.json")" = 2
        check "programming: a dated copy beside it" \
            test -n "$(find "$(dirname "$result")" -name 'run-*.json' | head -n 1)"
        check "the log says where the result went" has "$log" \
            "Result written to C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\last-run.json"
    fi

    # Every card's summary after the programming step, versions joined by an ASCII arrow.
    check "programming: a summary line per card" has "$work/program.txt" \
        "   Result for PCIe Bus: 0x0400   FPGA version: 1.3.0 -> 1.4.2   ok"
    # The run's own log lines beside its result in the ProgramData working folder, whoever ran it.
    folder="$WINEPREFIX/drive_c/ProgramData/Orvane/OvnK740FpgaUpdater"
    check "the log copy is C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\last-run.log" \
        test -f "$folder/last-run.log"
    if [ -f "$folder/last-run.log" ]; then
        cp "$folder/last-run.log" "$work/program.log"
        check "the log copy holds the run from its header" has "$work/program.log" "==== Run "
        check "the log copy holds the programming" has "$work/program.log" "Execution time = "
        check "the log copy ends with the outcome and the exit code" has "$work/program.log" \
            "outcome updated, exit code 0"
        check "the log copy has CR LF lines only" crlf_only "$work/program.log"
        check "the log copy holds this run only" \
            test "$(grep -c "^$banner$(printf '\r')\$" "$work/program.log")" = 1
        check "a dated log copy beside the dated results" \
            test -n "$(find "$folder" -name 'run-*.log' | head -n 1)"
        check "the user's log has the same header and closing" has "$log" \
            "$(grep -a '^==== Run .* ended ' "$work/program.log" | tr -d '\r')"
    fi

    # Why an image cannot be opened: Windows refuses to open a directory, its attributes say why.
    mkdir -p "$work/folder.xsvf"
    run folder -q -f folder.xsvf
    check "a directory as the image ends with 2 (got $(exit_code folder))" test "$(exit_code folder)" = 2
    check "a directory as the image: the open error, then the reason" followed_by "$work/folder.txt" \
        "Error: Unable to open file folder.xsvf" "   Reason: it is a directory, not a file."
    run missing -q -f missing.xsvf
    check "a missing image: the reason names it not found" has "$work/missing.txt" \
        "   Reason: the file was not found: "
    check "the log has the open error too" has "$log" "Error: Unable to open file missing.xsvf"

    run relist -q
    check "after programming both cards report the new version" has "$work/relist.txt" \
        "   PCIe Bus: 0x0300   FPGA version: 1.4.2"
    check "after programming the second card too" has "$work/relist.txt" "   PCIe Bus: 0x0400   FPGA version: 1.4.2"
fi

finish_checks "updater under Wine"
