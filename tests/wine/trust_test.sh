#!/bin/sh
# The elevated run against its operator's own unelevated programs, under Wine with the simulation
# build: each attack as the user would mount it, and the run still doing its job.
#   environment   ProgramFiles(x86) and ProgramFiles in HKCU\Environment point at a planted suite
#   start_folder  the folder the run was started from changes between the restart and the resume
#   temp_folder   the user's Temp re-pointed (a link) at a folder with a planted dec740.exe and a
#                 pxcfg.txt link; a link stands where the tool goes in the working folder
#   links         symbolic and hard links in place of the log; a link named like the old settings
#                 file in the user's Temp
#   log_base      LOCALAPPDATA in HKCU\Environment, then the user's own shell folder for local
#                 application data, point outside the profile; then the log's Orvane folder is a
#                 link to a folder outside the profile
#   in_the_way    a user's file where C:\ProgramData\Orvane goes, held open so it cannot be renamed
#   planted_files a file of the user's and links under the names the run writes in the working
#                 folder (image copy, tool, settings file, result), before the run and the resume
#   swapped_exe   while the run waits for a lingering settings export, the running exe in the start
#                 folder is renamed away and another program put under its name
# usage: trust_test.sh ATTACK UPDATER_EXE PLUXCMD_EXE PLUXCORE_EXE APPLY_RESTART_EXE MARKER_EXE DEMO
#                      HOLDER_EXE
# Runs in the prefix named by WINEPREFIX. Exit 77 (skipped) when this machine's Wine cannot run it.
set -u
. "$(dirname "$0")/wine_lib.sh"
attack=$1
exe=$(abs "$2")
pluxcmd=$(abs "$3")
pluxcore=$(abs "$4")
apply_restart=$(abs "$5")
marker=$(abs "$6")
demo=$(abs "$7")
holder=$(abs "$8")
wine_lib_start trust

drive_c="$WINEPREFIX/drive_c"
suite=$(suite_dir)
user_dir=$(user_dir)
log=$(updater_log)
folder="$drive_c/ProgramData/Orvane/OvnK740FpgaUpdater"
folder_win='C:\ProgramData\Orvane\OvnK740FpgaUpdater'
evil="$drive_c/evil"
victim="$drive_c/victim.ini"
log_orvane="$user_dir/AppData/Local/Orvane"
shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'

reg() { timeout --foreground 60 "$wine_run" reg "$@" </dev/null >/dev/null 2>&1; }
cleanup() {
    if [ "$attack" = environment ]; then
        reg delete 'HKCU\Environment' /v 'ProgramFiles(x86)' /f
        reg delete 'HKCU\Environment' /v ProgramFiles /f
        new_session
    fi
    if [ "$attack" = log_base ]; then
        reg delete 'HKCU\Environment' /v LOCALAPPDATA /f
        reg add "$shell_folders" /v 'Local AppData' /t REG_EXPAND_SZ /d '%USERPROFILE%\AppData\Local' /f
        new_session
        [ -L "$log_orvane" ] && rm -f "$log_orvane"
    fi
    # What the runs leave for the next logon belongs to this test: a run-once entry and the
    # utility's key would act in the next test's runs.
    for view in 32 64; do
        for value in '!OvnK740FpgaUpdater' '!OvnK740FpgaUpdaterResume' '!OvnK740FpgaUpdaterImport' \
            '!OvnK740FpgaUpdaterRepair'; do
            reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' \
                /v "$value" /f /reg:$view
        done
    done
    reg delete 'HKLM\Software\Orvane Graphics' /f
    if [ -n "${holder_pid:-}" ]; then
        : >"$work/release"
        wait "$holder_pid"
    fi
    if [ -L "$user_dir/Temp" ]; then
        rm -f "$user_dir/Temp"
        mv "$user_dir/Temp.aside" "$user_dir/Temp"
    fi
    rm -f "$suite/export-hangs"
    rm -rf "$evil" "$victim" "$drive_c/Program Files (x86)/Orvane Graphics" \
        "$drive_c/Program Files/Orvane Graphics" "$drive_c/ProgramData/Orvane"*
    rm -f "$log"
}
cleanup_start() {
    rm -rf "$evil" "$drive_c/ProgramData/Orvane"*
    rm -f "$log" "$victim"
}
cleanup_start
mkdir -p "$suite" "$work/bin" "$evil"
cp "$pluxcmd" "$pluxcore" "$suite/"
printf '%%PX\000\000cfg\377' >"$suite/settings.bin"
cp "$exe" "$work/bin/OvnK740FpgaUpdater.exe"
cp "$demo" "$work/bin/image.xsvf"
image=$(winpath "$work/bin/image.xsvf")
printf 'victim' >"$victim"

machine() {  # machine DISABLE: one card whose display driver disables atOnce or afterRestart
    cat >"$work/machine.json" <<JSON
{"cards": [{"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000",
            "display": {"driver": {"infPath": "oem12.inf", "infSection": "K740",
                                   "files": ["C:\\\\Windows\\\\system32\\\\drivers\\\\k740disp.sys"]},
                        "disable": "$1"}}]}
JSON
    export OVN_SIM_MACHINE="$(winpath "$work/machine.json")" OVN_SIM_STATE="$(winpath "$work/state")"
}
planted_ran() {
    ran=$(find "$evil" "$work/bin" "$folder" -name '*.ran' 2>/dev/null)
    [ -n "$ran" ] && echo "  found: $ran"
    [ -n "$ran" ]
}

case "$attack" in
environment)
    # A planted suite wherever the user's environment says the program files are.
    mkdir -p "$evil/Orvane Graphics/Panelux"
    cp "$marker" "$evil/Orvane Graphics/Panelux/Orvane.PluxCmd.exe"
    reg add 'HKCU\Environment' /v 'ProgramFiles(x86)' /t REG_SZ /d 'C:\evil' /f
    reg add 'HKCU\Environment' /v ProgramFiles /t REG_SZ /d 'C:\evil' /f
    new_session
    # Wine sets these names itself where there are two program files folders, so the planted value
    # reaches processes in the 32-bit prefix only; the checks hold either way.
    timeout --foreground 60 "$wine_run" cmd /c 'echo %ProgramFiles(x86)% %ProgramFiles%' \
        </dev/null >"$work/seen.txt" 2>/dev/null
    echo "what a new process sees: $(tr -d '\r' <"$work/seen.txt")"
    machine atOnce
    imports_before=$(imports)
    run_updater first -q -b -f "$image"
    check "the run ends with 0" test "$(exit_code first)" = 0
    if planted_ran; then
        echo "FAIL: the planted suite ran"
        failures=$((failures + 1))
    fi
    check "the suite in the program files exported" has "$suite/records.txt" "export"
    run_once >"$work/runonce.txt"
    # The run asks for a restart, which ends the Wine session; the next Wine program's logon may
    # already have run the import, from the real suite's folder.
    real_import() {
        grep -qF 'Orvane Graphics\Panelux\Orvane.PluxCmd.exe" /import' "$1" || [ "$(imports)" -gt "$2" ]
    }
    check "the import registered (or already run) is the real suite's" real_import "$work/runonce.txt" "$imports_before"
    if grep -qi 'evil' "$work/runonce.txt"; then
        echo "FAIL: the run-once entry names the planted suite"
        failures=$((failures + 1))
    fi
    cat "$work/runonce.txt"
    ;;
start_folder)
    machine afterRestart
    run_updater first -q -b -F "image.xsvf"
    check "the first run ends with 0" test "$(cat "$work/first.rc")" = 0
    run_once >"$work/runonce.txt"
    cat "$work/runonce.txt"
    check "the resume starts the copy in the working folder" \
        grep -qF "\"$folder_win\\OvnK740FpgaUpdater.exe\" -q -b -f \"$folder_win\\resume.xsvf\"" \
        "$work/runonce.txt"
    # Whoever can write where the operator started the run replaces both before the logon.
    cp "$marker" "$work/bin/OvnK740FpgaUpdater.exe"
    printf 'not an image' >"$work/bin/image.xsvf"
    imports_before=$(imports)
    restart
    if planted_ran; then
        echo "FAIL: the program planted in the start folder ran at the logon"
        failures=$((failures + 1))
    fi
    check "the resumed run programmed the cards" has "$log" "Execution time = "
    check "the tidy-up took the copies" test ! -e "$folder/resume.xsvf"
    run_once >"$work/runonce2.txt"
    check "the resumed run registered the import" import_arranged "$work/runonce2.txt" \
        "$imports_before"
    restart
    check "the import ran at the second logon" has "$suite/records.txt" "import 9"
    # The copy itself changed between the restart and the resume is refused.
    cp "$exe" "$work/bin/OvnK740FpgaUpdater.exe"
    cp "$demo" "$work/bin/image.xsvf"
    run_updater again -q -b -f "$image"
    printf 'X' >>"$folder/resume.xsvf"
    imports_before=$(imports)
    restart
    check "a changed copy is refused" has "$log" "is not the one the update was started with"
    run_once >"$work/runonce3.txt"
    check "and the display driver comes back with the import registered" \
        import_arranged "$work/runonce3.txt" "$imports_before"
    # The operator tries again at once: the refused run's own copy, busy when it tidied up, goes
    # at the restart, and must not take the new update's copy with it.
    rm -f "$log"
    run_updater retry -q -b -f "$image"
    restart
    check "an update started right after that resumes and programs the cards" \
        has "$log" "Execution time = "
    ;;
temp_folder)
    # The user's Temp re-pointed at the attacker's folder, with a tool and a settings-file link.
    mkdir -p "$evil/temp"
    cp "$marker" "$evil/temp/dec740.exe"
    ln -s "$victim" "$evil/temp/pxcfg.txt"
    mv "$user_dir/Temp" "$user_dir/Temp.aside"
    ln -s "$evil/temp" "$user_dir/Temp"
    machine atOnce
    imports_before=$(imports)
    run_updater first -q -b -f "$image"
    check "the run ends with 0" test "$(exit_code first)" = 0
    if planted_ran; then
        echo "FAIL: a planted program ran"
        failures=$((failures + 1))
    fi
    check "the tool was written in the working folder" test -f "$folder/dec740.exe"
    check "the settings link in the temporary folder was not written" test "$(cat "$victim")" = victim
    check "the run saved the settings and disabled the driver" has "$suite/records.txt" "export"
    run_once >"$work/runonce.txt"
    check "the import was registered (or already run)" import_arranged "$work/runonce.txt" \
        "$imports_before"
    # A link where the tool goes (Wine shows it as a plain file): it loses the name to a new file of
    # the run's own, and its target is never written or started.
    cp "$marker" "$evil/dec740-target.exe"
    rm -f "$folder/dec740.exe"
    ln -s "$evil/dec740-target.exe" "$folder/dec740.exe"
    run_updater second -q -b -f "$image"
    check "the second run ends with 0" test "$(cat "$work/second.rc")" = 0
    check "the tool is a file of the run's own" test -f "$folder/dec740.exe" -a ! -L "$folder/dec740.exe"
    check "the link's target was not written" cmp -s "$marker" "$evil/dec740-target.exe"
    if planted_ran; then
        echo "FAIL: the linked program ran"
        failures=$((failures + 1))
    fi
    ;;
links)
    mkdir -p "$(dirname "$log")"
    ln -s "$victim" "$log"
    unset OVN_SIM_MACHINE
    export OVN_SIM_STATE="$(winpath "$work/state-plain")"
    run_updater symlink -q -b -f "$image"
    check "a symbolic link as the log: the run ends with 0" test "$(cat "$work/symlink.rc")" = 0
    check "it says the log is not written" has "$work/symlink.txt" "   The log file "
    check "the link's target kept its bytes" test "$(cat "$victim")" = victim
    rm -f "$log"
    ln "$victim" "$log"
    run_updater hardlink -q -b -f "$image"
    check "a hard link as the log: the run ends with 0" test "$(cat "$work/hardlink.rc")" = 0
    check "it says the log is not written" has "$work/hardlink.txt" "   The log file "
    check "the other name kept its bytes" test "$(cat "$victim")" = victim
    rm -f "$log"
    # The old settings file in the user's Temp as a link: no longer written at all.
    ln -s "$victim" "$user_dir/Temp/pxcfg.txt"
    machine afterRestart
    run_updater first -q -b -f "$image"
    run_once >"$work/runonce.txt"
    cat "$work/runonce.txt"
    restart
    rm -f "$user_dir/Temp/pxcfg.txt"
    check "the resumed run programmed the cards" has "$log" "Execution time = "
    check "the settings link's target kept its bytes" test "$(cat "$victim")" = victim
    restart
    check "the import saw the original settings" cmp -s "$suite/settings.bin" "$suite/imported.bin"
    ;;
log_base)
    # The user's environment says the local application data are in a system folder.
    mkdir -p "$evil/System32"
    reg add 'HKCU\Environment' /v LOCALAPPDATA /t REG_SZ /d 'C:\evil\System32' /f
    new_session
    timeout --foreground 60 "$wine_run" cmd /c 'echo %LOCALAPPDATA%' </dev/null >"$work/seen.txt" 2>/dev/null
    # Wine sets LOCALAPPDATA itself, so the planted value may not reach the process; it is ignored
    # either way.
    printf 'what a new process sees: %s\n' "$(tr -d '\r' <"$work/seen.txt")"
    unset OVN_SIM_MACHINE
    export OVN_SIM_STATE="$(winpath "$work/state-plain")"
    rm -f "$log"
    run_updater environment -q -b -f "$image"
    check "the run ends with 0" test "$(exit_code environment)" = 0
    check "it programmed the cards" has "$work/environment.txt" "Execution time = "
    check "nothing was written where the environment points" test -z "$(ls -A "$evil/System32")"
    check "the log is in the profile" has "$log" "Execution time = "
    # The known folder itself re-pointed through the user's own shell folders: it is no longer in
    # the profile the system records for the user.
    reg delete 'HKCU\Environment' /v LOCALAPPDATA /f
    reg add "$shell_folders" /v 'Local AppData' /t REG_EXPAND_SZ /d 'C:\evil\System32' /f
    new_session
    run_updater shell_folder -q -b -f "$image"
    check "with the shell folder re-pointed the run ends with 0" test "$(exit_code shell_folder)" = 0
    check "it programmed the cards" has "$work/shell_folder.txt" "Execution time = "
    check "it says the log is not written" has "$work/shell_folder.txt" "is not in the user's profile"
    check "nothing was written in the re-pointed folder" test -z "$(ls -A "$evil/System32")"
    reg add "$shell_folders" /v 'Local AppData' /t REG_EXPAND_SZ /d '%USERPROFILE%\AppData\Local' /f
    new_session
    # The log's Orvane folder a link to that system folder.
    rm -rf "$log_orvane"
    ln -s "$evil/System32" "$log_orvane"
    run_updater linked -q -b -f "$image"
    check "with a linked Orvane folder the run ends with 0" test "$(exit_code linked)" = 0
    check "it programmed the cards" has "$work/linked.txt" "Execution time = "
    check "it says the log is not written" has "$work/linked.txt" "   The log file "
    check "it names the linked folder" has "$work/linked.txt" "Orvane leads to"
    check "nothing was created or written through the link" test -z "$(ls -A "$evil/System32")"
    rm -f "$log_orvane"
    ;;
in_the_way)
    # Before the elevated run a user makes a file where "Orvane" goes and keeps it open without
    # delete sharing: the run can neither use nor move it, and says what an administrator does.
    machine atOnce
    orvane_win='C:\ProgramData\Orvane'
    (timeout --foreground 900 "$wine_run" "$holder" "$orvane_win" "$(winpath "$work/held")" \
        "$(winpath "$work/release")" </dev/null >"$work/holder.txt" 2>&1) &
    holder_pid=$!
    tries=0
    while [ ! -e "$work/held" ] && [ "$tries" -lt 600 ] && kill -0 "$holder_pid" 2>/dev/null; do
        sleep 0.5
        tries=$((tries + 1))
    done
    check "the user's program holds the file" test -e "$work/held"
    run_updater first -q -b -f "$image"
    check "the run ends with 10" test "$(exit_code first)" = 10
    said="Error: No safe working folder could be prepared: $orvane_win is in the way (it is a file, not a folder) and cannot be moved aside (MoveFileExW, error 32)."
    check "it names what is in the way" has "$work/first.txt" "$said"
    check "and what an administrator does" has "$work/first.txt" \
        "Delete or rename $orvane_win as an administrator, then run the update again."
    check "the log says the same" has "$log" "$said"
    check "it programmed nothing" lacks "$work/first.txt" "Execution time = "
    : >"$work/release"
    wait "$holder_pid"
    holder_pid=
    check "the user's file is still there" test "$(cat "$drive_c/ProgramData/Orvane")" = "a user's file"
    # Once it is no longer held, the next run moves it aside and goes on.
    rm -f "$log"
    run_updater second -q -b -f "$image"
    check "the next run ends with 0" test "$(exit_code second)" = 0
    check "it moved the file aside" has "$log" "(it is a file, not a folder); it was moved aside to"
    check "the working folder is there" test -d "$folder"
    ;;
planted_files)
    # Planted while a folder check admitted the folder: each name the run writes there becomes a
    # new file of the run's own; nothing planted is written, and none of it keeps the name.
    machine afterRestart
    mkdir -p "$folder"
    printf 'planted image' >"$folder/resume.xsvf"
    printf 'planted result' >"$folder/last-run.json"
    # Second names outside keep the planted files (and their inodes) for the comparison.
    ln "$folder/resume.xsvf" "$evil/resume.keep"
    ln "$folder/last-run.json" "$evil/result.keep"
    cp "$marker" "$evil/dec740-target.exe"
    ln -s "$evil/dec740-target.exe" "$folder/dec740.exe"
    ln -s "$victim" "$folder/pxcfg.txt"
    run_updater first -q -b -f "$image"
    check "the first run ends with 0" test "$(exit_code first)" = 0
    for name in resume.xsvf last-run.json dec740.exe pxcfg.txt; do
        check "$name is a plain file of one name" test -f "$folder/$name" -a ! -L "$folder/$name" \
            -a "$(stat -c %h "$folder/$name")" = 1
    done
    check "the image copy is the image" cmp -s "$demo" "$folder/resume.xsvf"
    check "the planted image kept its bytes" test "$(cat "$evil/resume.keep")" = 'planted image'
    check "the planted result kept its bytes" test "$(cat "$evil/result.keep")" = 'planted result'
    check "the result is the run's" has "$folder/last-run.json" '"cards"'
    check "the tool link's target was not written" cmp -s "$marker" "$evil/dec740-target.exe"
    check "the settings link's target kept its bytes" test "$(cat "$victim")" = victim
    check "the settings file holds the export" cmp -s "$suite/settings.bin" "$folder/pxcfg.txt"
    if planted_ran; then
        echo "FAIL: a planted program ran"
        failures=$((failures + 1))
    fi
    # Between the restart and the resume, where the settings file is written back from Config.
    rm -f "$folder/pxcfg.txt"
    ln -s "$victim" "$folder/pxcfg.txt"
    restart
    check "the resumed run programmed the cards" has "$log" "Execution time = "
    check "the written-back settings file is no link" test -f "$folder/pxcfg.txt" -a ! -L "$folder/pxcfg.txt"
    check "the settings link's target kept its bytes" test "$(cat "$victim")" = victim
    restart
    check "the import saw the original settings" cmp -s "$suite/settings.bin" "$suite/imported.bin"
    ;;
swapped_exe)
    machine afterRestart
    cp "$work/bin/OvnK740FpgaUpdater.exe" "$work/original.exe"
    touch "$suite/export-hangs"
    run_updater first -q -b -f "$image" >"$work/first.show" &
    running=$!
    # The export has started: the run waits for it (at most 10 s) and has taken its copy long ago.
    tries=0
    until has "$suite/records.txt" export || [ "$tries" -ge 3000 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    # The operator's own program: Windows refuses to rename a file the run holds without delete
    # sharing. The rename is then done behind Wine's back, as if it had been allowed.
    (cd "$work/bin" && timeout --foreground 60 "$wine_run" cmd /c move /y OvnK740FpgaUpdater.exe \
        away.exe </dev/null >"$work/move.txt" 2>&1)
    if [ -e "$work/bin/away.exe" ]; then
        echo "  (this Wine let the held program be renamed)"
    else
        echo "  the rename through Wine was refused: $(tr -d '\r' <"$work/move.txt" | head -1)"
    fi
    if [ -e "$work/bin/OvnK740FpgaUpdater.exe" ]; then
        mv "$work/bin/OvnK740FpgaUpdater.exe" "$work/bin/away-unix.exe"
    fi
    cp "$marker" "$work/bin/OvnK740FpgaUpdater.exe"
    wait "$running"
    cat "$work/first.show"
    check "the first run ends with 0" test "$(exit_code first)" = 0
    check "the copy in the working folder is the program that ran" \
        cmp -s "$work/original.exe" "$folder/OvnK740FpgaUpdater.exe"
    run_once >"$work/runonce.txt"
    cat "$work/runonce.txt"
    check "the resume starts the copy in the working folder" \
        grep -qF "\"$folder_win\\OvnK740FpgaUpdater.exe\" -q -b -f" "$work/runonce.txt"
    # A 32-bit prefix shows its one view under both names: each entry counts once.
    check "one entry starts the program" \
        test "$(grep 'OvnK740FpgaUpdater.exe' "$work/runonce.txt" | sort -u | wc -l)" = 1
    rm -f "$suite/export-hangs"
    restart
    if planted_ran; then
        echo "FAIL: the program planted in the start folder ran"
        failures=$((failures + 1))
    fi
    check "the resumed run programmed the cards" has "$log" "Execution time = "
    ;;
*)
    echo "unknown attack $attack"
    exit 2
    ;;
esac

finish_cycle_checks "$attack"
