#!/bin/sh
# The driver-access loader under Wine, in a fresh prefix of the given width: clean installation,
# a second process, a mutex held too long, a planted OvnVxd.dll, the uninstaller, the card scan.
# usage: loader_test.sh win64|win32 PROBE_EXE PLANTED_DLL IMAGES_DIR [UPDATER_EXE]
# UPDATER_EXE, the simulation build of the utility of the same width, is run against the squatted
# loader objects.
# IMAGES_DIR holds the images the probe embeds: OvnVxd32.sys OvnVxd64.sys OvnVxd32.dll OvnVxd64.dll
# OvnVxdUninstall.exe. Exit 77 (skipped) when this machine cannot run the prefix's programs.
set -u
arch=$1 probe=$2 planted=$3 images=$4 updater=${5:-}

. "$(dirname "$0")/wine_lib.sh"
choose_wine "$arch"
wine_lib_start loader
cleanup() {
    [ -d "$work/bin" ] && touch "$work/bin/end-of-test"
    wineserver -k >/dev/null 2>&1
}
has_line() { grep -qxF "$2" "$1"; }
opened() { grep -q "^open=$2 " "$1"; }

run() {  # run OUTFILE ARGS...: the probe in the test directory, output without CR
    out=$1
    shift
    (cd "$work/bin" && timeout --foreground 120 "$wine" loader_probe.exe "$@" </dev/null >"$out.raw" 2>&1)
    rc=$?
    tr -d '\r' <"$out.raw" >"$out"
    return $rc
}

fresh_prefix "$arch" "mscoree,mshtml="
mkdir -p "$work/bin"
cp "$probe" "$work/bin/loader_probe.exe"
# A Wine program that lives as long as the test keeps the wineserver up: a server that ends in a
# gap between two steps (3 seconds after its last program) is started again, and a new server's
# first program "boots" the prefix and carries out the pending renames that step 6 checks.
(cd "$work/bin" && "$wine" loader_probe.exe wait-until end-of-test </dev/null >/dev/null 2>&1) &
# The planted library sits beside the exe and in the current directory from the start: no step
# may ever pick it up.
cp "$planted" "$work/bin/OvnVxd.dll"

c="$WINEPREFIX/drive_c/windows"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\OvnVxd'
if [ "$arch" = win64 ]; then
    driver=OvnVxd64.sys
    wow=syswow64
    library="C:\\windows\\System32\\OvnVxd.dll"
    uninstaller_win="C:\\windows\\SysWOW64\\OvnVxdUninstall.exe"
else
    driver=OvnVxd32.sys
    wow=system32
    library="C:\\windows\\System32\\OvnVxd.dll"
    uninstaller_win="C:\\windows\\System32\\OvnVxdUninstall.exe"
fi

# wait_for PID FILE PATTERN: until FILE holds a line matching PATTERN or the process PID has ended
# (its output is then complete). No time limit here: the test's own time-out covers a hang, and a
# cold Wine on a loaded machine may take long to start.
wait_for() {
    while ! grep -q "$3" "$2" 2>/dev/null && kill -0 "$1" 2>/dev/null; do sleep 0.1; done
}

# 1. Clean installation, kept loaded by a process that stays until step 2 is done.
rm -f "$work/bin/release-first"
run "$work/first.txt" open --hold-until release-first &
first=$!
wait_for $first "$work/first.txt.raw" '^installed='
tr -d '\r' <"$work/first.txt.raw" >"$work/first.txt"
check "first open succeeds" opened "$work/first.txt" 1
check "library loaded from the system directory" has_line "$work/first.txt" "module=$library"
check "second open in the process only counts" has_line "$work/first.txt" "reopen=1"
check "fresh block after installing" has_line "$work/first.txt" "installed=1 loadCount=1"
check "driver written" same_file "$images/$driver" "$c/system32/drivers/OvnVxd.sys"
check "32-bit library written" same_file "$images/OvnVxd32.dll" "$c/$wow/OvnVxd.dll"
check "uninstaller written" same_file "$images/OvnVxdUninstall.exe" "$c/$wow/OvnVxdUninstall.exe"
order="$c/system32/drivers/OvnVxd.sys $c/$wow/OvnVxd.dll"
if [ "$arch" = win64 ]; then
    check "64-bit library written" same_file "$images/OvnVxd64.dll" "$c/system32/OvnVxd.dll"
    order="$order $c/system32/OvnVxd.dll"
else
    check "no 64-bit library on a 32-bit system" no_file "$c/syswow64"
fi
order="$order $c/$wow/OvnVxdUninstall.exe"
# Modification times never go back along the order of writing. Two files written within one tick
# of the file system's clock have the same time, so only a later file with an earlier time is wrong.
in_write_order() {
    previous=0
    for file in "$@"; do
        now=$(stat -c %.9Y "$file") || return 1
        [ "$(echo "$now < $previous" | bc)" = 1 ] && return 1
        previous=$now
    done
    return 0
}
# shellcheck disable=SC2086
check "files written in order" in_write_order $order
check "planted library never ran" no_file "$work/bin/planted-dll-was-loaded.txt"

"$wine" reg query "$key" /reg:32 </dev/null 2>&1 | tr -d '\r' >"$work/reg32.txt"
"$wine" reg query "$key" /reg:64 </dev/null 2>&1 | tr -d '\r' >"$work/reg64.txt"
check "DisplayName" grep -qE '^ +DisplayName +REG_SZ +Orvane OvnVxd Services$' "$work/reg32.txt"
check "UninstallString" grep -qiF "REG_SZ    $uninstaller_win" "$work/reg32.txt"
if [ "$arch" = win64 ]; then
    check "key only in the 32-bit view" test "$(grep -c DisplayName "$work/reg64.txt")" = 0
fi

# 2. A second process finds the installed library and only counts.
stamp=$(stat -c %.9Y "$c/$wow/OvnVxd.dll")
run "$work/second.txt" open --scan
check "second process opens" opened "$work/second.txt" 1
check "second process counts" has_line "$work/second.txt" "installed=1 loadCount=2"
check "second process writes nothing" test "$(stat -c %.9Y "$c/$wow/OvnVxd.dll")" = "$stamp"
check "two simulated cards found" has_line "$work/second.txt" "cards=2 found=1"
check "card at bus 03" has_line "$work/second.txt" "card bus=03 dev=00 fn=0 mapped=1"
check "card at bus 04" has_line "$work/second.txt" "card bus=04 dev=00 fn=0 mapped=1"
touch "$work/bin/release-first"
wait $first

# 3. A mutex held for longer than the loader waits (4000 ms) makes the open fail. The holder lets go
# only after the open has returned; the open must have waited at least its 4000 ms (less a tick of
# the clock it is measured with), and a loaded machine may make it last longer, never shorter.
rm -f "$work/bin/release-mutex"
(cd "$work/bin" && "$wine" loader_probe.exe hold-until mutex release-mutex </dev/null >"$work/hold.txt" 2>&1) &
holder=$!
wait_for $holder "$work/hold.txt" held
check "mutex holder started" grep -q held "$work/hold.txt"
run "$work/blocked.txt" open
touch "$work/bin/release-mutex"
check "open fails while the mutex is held" opened "$work/blocked.txt" 0
ms=$(sed -n 's/^open=0 ms=//p' "$work/blocked.txt")
check "open waited its 4000 ms" test "${ms:-0}" -ge 3900
wait $holder

# 4. The uninstaller the entry names removes the files and the key; a new open installs again.
# Through start /wait: Wine may hand a windowed program to a new process and return before that
# process ends; start waits for the program itself and passes its exit code on.
"$wine" start /wait "$uninstaller_win" </dev/null >/dev/null 2>&1
echo "uninstaller exit code: $?"
check "uninstaller removed the library" no_file "$c/$wow/OvnVxd.dll"
check "uninstaller removed the driver" no_file "$c/system32/drivers/OvnVxd.sys"
check "uninstaller removed the native library" no_file "$c/system32/OvnVxd.dll"
"$wine" reg query "$key" /reg:32 </dev/null >"$work/reg-after.txt" 2>&1
check "uninstaller removed the key" test "$(grep -c DisplayName "$work/reg-after.txt")" = 0
# 5. A library that still does not load after the installation (a directory stands where it goes)
# takes the uninstall key and the component files with it, and the open fails.
rm -f "$c/system32/OvnVxd.dll" && mkdir "$c/system32/OvnVxd.dll"
run "$work/unloadable.txt" open
check "open fails when the installed library does not load" opened "$work/unloadable.txt" 0
check "nothing counted" has_line "$work/unloadable.txt" "block=none"
check "driver removed again" no_file "$c/system32/drivers/OvnVxd.sys"
check "uninstaller removed again" no_file "$c/$wow/OvnVxdUninstall.exe"
"$wine" reg query "$key" /reg:32 </dev/null >"$work/reg-failed.txt" 2>&1
check "key removed again" test "$(grep -c DisplayName "$work/reg-failed.txt")" = 0
rmdir "$c/system32/OvnVxd.dll"

# 6. A component file that cannot be written in place (here a directory is in the way) is staged
# beside its target, where only administrators can write, and moved into place at the next restart;
# nothing goes through the user's temporary directory. The installation goes on.
rm -f "$c/$wow/OvnVxdUninstall.exe" && mkdir "$c/$wow/OvnVxdUninstall.exe"
run "$work/again.txt" open
check "reinstalled after uninstalling" has_line "$work/again.txt" "installed=1 loadCount=1"
"$wine" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
    </dev/null 2>&1 | tr -d '\r' >"$work/pending.txt"
check "uninstaller replaced at the next restart from beside it" \
    grep -qi "$wow\\\\ovn[0-9a-f]*\\.tmp.*$wow\\\\OvnVxdUninstall\\.exe" "$work/pending.txt"
staged_uninstaller() {  # one of the staged files beside the target holds the uninstaller's image
    for staged in $(find "$c/$wow" -maxdepth 1 -iname 'ovn*.tmp'); do
        same_file "$images/OvnVxdUninstall.exe" "$staged" && return 0
    done
    return 1
}
check "the staged copy is the uninstaller's image" staged_uninstaller
staged_uninstaller || {
    echo "pending renames:"
    cat "$work/pending.txt"
    echo "open:"
    cat "$work/again.txt"
    ls -la "$c/$wow" | grep -i -E 'ovn'
}
check "nothing staged in the temporary directory" \
    test -z "$(find "$WINEPREFIX/drive_c/users" -iname 'ovn*.tmp' | head -n 1)"
check "planted library still never ran" no_file "$work/bin/planted-dll-was-loaded.txt"

# 7-9. Failed opens leave nothing behind in this process. A holder keeps the object until the test
# creates its release file; the failing probe reports what it still has once the test creates
# "gone", so no check depends on the machine's speed.
hold() {  # hold MODE: starts the holder in the background and waits until it holds
    rm -f "$work/bin/release" "$work/bin/gone"
    (cd "$work/bin" && "$wine" loader_probe.exe hold-until "$1" release </dev/null >"$work/hold-$1.txt" 2>&1) &
    holder=$!
    wait_for $holder "$work/hold-$1.txt" held
}
failing_open() {  # failing_open NAME: an open that fails against the holder, reported after release
    run "$work/$1.txt" open --left-after gone &
    opener=$!
    wait_for $opener "$work/$1.txt.raw" '^open='
    touch "$work/bin/release"
    wait $holder
    touch "$work/bin/gone"
    wait $opener
}
# 7. A time-out on the mutex closes the mutex handle.
hold mutex
failing_open timedout
check "open fails while the mutex is held" opened "$work/timedout.txt" 0
check "no mutex handle left after a time-out" grep -q '^mutex-left=0 ' "$work/timedout.txt"
# 8. A mutex abandoned by a holder that died is released and closed: the next loader gets it.
hold abandon
touch "$work/bin/gone"
run "$work/abandoned.txt" open --left-after gone
check "an abandoned mutex fails the open" opened "$work/abandoned.txt" 0
check "the abandoned mutex is released" grep -q ' mutex-owned=0 ' "$work/abandoned.txt"
run "$work/after-abandoned.txt" open
check "the next open gets the mutex" opened "$work/after-abandoned.txt" 1
touch "$work/bin/release"
wait $holder
# 9. A shared block that cannot be mapped writable closes the mapping handle.
hold readonly-block
failing_open unmapped
check "open fails when the shared block cannot be mapped" opened "$work/unmapped.txt" 0
check "no mapping handle left" grep -q ' block-left=0$' "$work/unmapped.txt"

# 10. A program without administrator rights creates the loader's objects first, with the default
# descriptor (Wine keeps none for it: no owner, no DACL). A loader neither waits on them nor uses
# them: it stops at once, naming the object; the utility says so on the console and in the log,
# ends with 1, and works again once the squatter is gone.
[ -n "$updater" ] && cp "$updater" "$work/bin/OvnK740FpgaUpdater.exe"
log_dir=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Local' | head -n 1)
log="$log_dir/Orvane/OvnK740FpgaUpdater/OvnK740FpgaUpdater.log"
updater_run() {  # updater_run NAME: the utility listing the cards; NAME.txt, NAME.rc
    (cd "$work/bin" && timeout --foreground 120 "$wine" OvnK740FpgaUpdater.exe -q </dev/null \
        >"$work/$1.raw" 2>&1)
    echo $? >"$work/$1.rc"
    tr -d '\r' <"$work/$1.raw" >"$work/$1.txt"
}
squatted() {  # squatted MODE STEP OBJECT TEXT
    hold "$1"
    check "$1: the squatter holds the object" grep -q held "$work/hold-$1.txt"
    run "$work/$1-open.txt" open
    check "$1: the open fails" opened "$work/$1-open.txt" 0
    check "$1: the failure names the object" has_line "$work/$1-open.txt" \
        "failure step=$2 object=$3 call= code=0"
    ms=$(sed -n 's/^open=0 ms=//p' "$work/$1-open.txt")
    check "$1: the open does not wait on a squatted object (took ${ms:-?} ms)" test "${ms:-9999}" -lt 3900
    if [ -n "$updater" ]; then
        rm -f "$log"
        updater_run "$1-run"
        echo "--- utility against $1:"
        cat "$work/$1-run.txt"
        check "$1: the utility ends with 1" test "$(cat "$work/$1-run.rc")" = 1
        check "$1: the utility names the object" grep -qF "   Error: $4" "$work/$1-run.txt"
        check "$1: the utility does not claim there is no card" \
            test "$(grep -c 'No Orvane K740 graphics cards found' "$work/$1-run.txt")" = 0
        check "$1: the log says the same" grep -qF "   Error: $4" "$log"
    fi
    touch "$work/bin/release"
    wait $holder
}
squatted squat-mutex mutex-squatted 'Global\OvnVxdWrapMutex' \
    'The mutex Global\OvnVxdWrapMutex was created by a program without administrator rights'
squatted squat-block block-squatted 'Global\OvnVxdWrapData' \
    'The shared block Global\OvnVxdWrapData was created by a program without administrator rights'
run "$work/after-squat.txt" open
check "the squatters gone, the next open succeeds" opened "$work/after-squat.txt" 1
if [ -n "$updater" ]; then
    updater_run after-squat-run
    check "the squatters gone, the utility lists the cards" \
        grep -qF "   Found 2 Orvane K740 graphics cards:" "$work/after-squat-run.txt"
fi

# 11. The utility's run lock squatted the same way: the start is refused at once with its own
# message and 11, before it lists anything.
if [ -n "$updater" ]; then
    hold squat-run
    check "squat-run: the squatter holds the run lock" grep -q held "$work/hold-squat-run.txt"
    rm -f "$log"
    updater_run squat-run-run
    echo "--- utility against squat-run:"
    cat "$work/squat-run-run.txt"
    check "squat-run: the utility ends with 11" test "$(cat "$work/squat-run-run.rc")" = 11
    check "squat-run: the utility names the lock" grep -qF \
        '   Error: The lock Global\OvnK740FpgaUpdaterRun was created by a program without administrator rights.' \
        "$work/squat-run-run.txt"
    check "squat-run: nothing is listed" \
        test "$(grep -c 'Orvane K740 graphics card' "$work/squat-run-run.txt")" = 0
    check "squat-run: the log says the same" grep -qF 'OvnK740FpgaUpdaterRun was created by' "$log"
    touch "$work/bin/release"
    wait $holder
fi

finish_checks "loader $arch"
