# Shared by the Wine test scripts (sourced, after `set -u`): the work directory, check() that shows
# what it saw, the runs under Wine, and the choice of Wine loader for a fresh prefix of one width.
#   . "$(dirname "$0")/wine_lib.sh"
#   wine_lib_start NAME        # $here, $wine_run, a fresh $work, the counts; `cleanup` runs at exit
# A script that defines `show_state` has it called after every failed check (e.g. a service's
# state); `finish_checks TITLE` prints the counts and gives the script's exit status.

wine_lib_dir=$(cd "$(dirname "$0")" && pwd)

# wine_lib_start NAME: $work is new and goes at exit, after the script's own `cleanup` if it has one.
wine_lib_start() {
    here=$wine_lib_dir
    wine_run="$here/../../scripts/wine-run.sh"
    work=$(mktemp -d "${TMPDIR:-/tmp}/ovn-$1.XXXXXX")
    failures=0
    checks=0
    last_run=""
    trap wine_lib_exit EXIT
}
wine_lib_exit() {
    if command -v cleanup >/dev/null 2>&1; then cleanup; fi
    rm -rf "$work"
}

abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
has() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
no_file() { [ ! -e "$1" ]; }
same_file() { cmp -s "$1" "$2"; }
exit_code() { cat "$work/$1.rc"; }

# show_file FILE: its last lines, without CR, indented (the first bytes of a binary file); what a
# failed check looked at.
show_file() {
    echo "  $1 holds:"
    if [ -f "$1" ] && ! grep -qI . "$1"; then
        od -An -c "$1" | head -4 | sed 's/^/   /'
    elif [ -f "$1" ]; then
        tr -d '\r' <"$1" | tail -15 | sed 's/^/    /'
    else
        echo "    (no such file)"
    fi
}

# check DESCRIPTION COMMAND...: counts the check; when COMMAND fails, says so with the command, the
# files it named, and the last run's exit code and error output, so that a failure under load can be
# told apart from a product fault from the log alone.
check() {
    desc=$1
    shift
    checks=$((checks + 1))
    "$@" && return 0
    failures=$((failures + 1))
    echo "FAIL: $desc"
    echo "  checked: $*"
    for seen in "$@"; do
        case $seen in
        "$work"/* | "${WINEPREFIX:-/nonexistent}"/*) [ -f "$seen" ] && show_file "$seen" ;;
        */* | "") ;;
        *) [ -f "$work/$seen.txt" ] && show_file "$work/$seen.txt" ;;
        esac
    done
    if [ -n "$last_run" ]; then
        echo "  last run $last_run: exit code $(cat "$work/$last_run.rc" 2>/dev/null)"
        case " $* " in
        *" $work/$last_run.err "*) ;;
        *) [ -s "$work/$last_run.err" ] && show_file "$work/$last_run.err" ;;
        esac
    fi
    if command -v show_state >/dev/null 2>&1; then show_state; fi
    return 0
}

# finish_checks TITLE: the counts, and the exit status (0 when every check passed).
finish_checks() {
    echo "$1: $((checks - failures)) passed, $failures failed"
    [ "$failures" = 0 ]
}

# run_wine NAME DIR SECONDS PROGRAM ARGS...: PROGRAM under Wine in DIR with no console and no keys.
# $work/NAME.raw is the exact output, NAME.txt the same with LF line ends, NAME.rc the exit code.
# Standard error joins the output, or with run_stderr=apart goes to NAME.err alone. SECONDS only
# stops a hung program; it is no check of speed.
# Now and then, right after a new session, Wine's own launcher fails to create the process at all
# ("Application could not be started ... ShellExecuteEx failed"): the program never ran, so nothing
# of it is judged, and the start is made once more (said on standard error).
run_wine() {
    run_name=$1 run_dir=$2 run_seconds=$3
    shift 3
    last_run=$run_name
    for run_attempt in 1 2; do
        start_wine "$@"
        echo $? >"$work/$run_name.rc"
        tr -d '\r' <"$work/$run_name.raw" >"$work/$run_name.txt"
        never_started "$work/$run_name" || break
        echo "run_wine: Wine could not start $1 for $run_name (attempt $run_attempt):" >&2
        cat "$work/$run_name.txt" "$work/$run_name.err" >&2 2>/dev/null
    done
}

# start_wine PROGRAM ARGS...: one start for run_wine.
start_wine() {
    if [ "${run_stderr:-joined}" = apart ]; then
        (cd "$run_dir" && timeout --foreground "$run_seconds" "$wine_run" "$@" \
            </dev/null >"$work/$run_name.raw" 2>"$work/$run_name.err")
    else
        (cd "$run_dir" && timeout --foreground "$run_seconds" "$wine_run" "$@" \
            </dev/null >"$work/$run_name.raw" 2>&1)
    fi
}

# never_started BASE: the launcher's own refusal is all the start wrote (BASE.txt, BASE.err).
never_started() {
    [ "$(cat "$1.rc")" = 1 ] || return 1
    cat "$1.txt" "$1.err" 2>/dev/null | grep -q '^ShellExecuteEx failed' || return 1
    ! cat "$1.txt" "$1.err" 2>/dev/null | grep -q 'Orvane'
}

# show_run NAME: the run's exit code and output, for the test's log.
show_run() {
    echo "--- $1 (exit $(exit_code "$1"))"
    cat "$work/$1.txt"
}

# Wine's own diagnostics are lines its loader, server and debug channels write to a program's
# standard error (WINEDEBUG=-all silences the channels, not the loader's or a starting service's
# messages): "wine: ...", "wineserver: ...", "preloader: ...", "err:..."/"fixme:..." with or without
# a "0024:" thread or "0024:0028:" process and thread prefix. product_stderr FILE prints every
# other line: what the program itself wrote.
wine_diagnostic='^((wine|wineserver|preloader)[^:]*:|([0-9a-f]{4}:){0,2}(err|fixme|warn|trace):)'
product_stderr() { tr -d '\r' <"$1" | grep -Ev "$wine_diagnostic"; }
# no_product_stderr FILE: the program wrote nothing to standard error; Wine's own lines are shown.
no_product_stderr() {
    if [ -s "$1" ]; then
        echo "  Wine's own lines on standard error (not the program's):"
        tr -d '\r' <"$1" | grep -E "$wine_diagnostic" | sed 's/^/    /'
    fi
    [ -z "$(product_stderr "$1")" ]
}

# choose_wine ARCH: $wine, the loader that runs ARCH (win64|win32) programs in a fresh prefix of
# that width. Debian's `wine` starts the 32-bit loader first; a kernel without 32-bit support can
# still run 64-bit programs through the 64-bit loader, which must then also start Wine's own
# children. Where none can, the script ends as skipped (exit 77), never failed.
choose_wine() {
    if [ -n "${OVN_WINE:-}" ]; then
        wine=$OVN_WINE
    elif /usr/lib/wine/wine --version >/dev/null 2>&1 || ! [ -x /usr/lib/wine/wine ]; then
        wine=wine
    elif [ "$1" = win64 ] && [ -x /usr/lib/wine/wine64 ]; then
        wine=/usr/lib/wine/wine64
        export WINELOADER=$wine
    else
        echo "SKIP: no Wine here that runs $1 programs (32-bit Linux programs do not run here)"
        exit 77
    fi
}

# fresh_prefix ARCH OVERRIDES: $WINEPREFIX is a new prefix of that width under $work, booted and
# with a warm server; Wine's debug output off. Ends the script failed when the prefix cannot be made.
fresh_prefix() {
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="$2"
    [ "$1" = win32 ] && export WINEARCH=win32
    if ! timeout --foreground 600 "$wine" wineboot -i </dev/null >"$work/boot.log" 2>&1; then
        echo "FAIL: cannot create a $1 prefix:"
        cat "$work/boot.log"
        exit 1
    fi
    persistent_server
}
# persistent_server: the prefix's server stays until it is stopped. `wineserver -p` changes nothing
# while a server runs (it says 2), and the one wineboot or a first start leaves ends by itself soon
# after the last program: the next start would then be a new session, which runs the run-once
# values first. So that one is waited for, and a persistent one started in its place.
persistent_server() {
    wineserver -w
    wineserver -p >/dev/null 2>&1 </dev/null
}

# suite_dir, user_dir, log: the suite's directory as the 32-bit utility sees it (the 32-bit program
# files where there are two), the user's profile, and the utility's log in it.
suite_dir() {
    if [ -d "$WINEPREFIX/drive_c/Program Files (x86)" ]; then
        echo "$WINEPREFIX/drive_c/Program Files (x86)/Orvane Graphics/Panelux"
    else
        echo "$WINEPREFIX/drive_c/Program Files/Orvane Graphics/Panelux"
    fi
}
user_dir() { ls -d "$WINEPREFIX"/drive_c/users/* | grep -v /Public | head -1; }
updater_log() { echo "$(user_dir)/AppData/Local/Orvane/OvnK740FpgaUpdater/OvnK740FpgaUpdater.log"; }

# Wine's logon also runs a run-once value that is added while it works through the list, so the
# import is either still registered or has already run in that same logon ($suite: suite_dir).
imports() {
    n=$(grep -c '^import' "$suite/records.txt" 2>/dev/null)
    echo "${n:-0}"
}
import_arranged() { grep -qF "/import" "$1" || [ "$(imports)" -gt "$2" ]; }
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

# Restart cycles in the shared prefix (the cycle and trust runs).
# run_updater NAME ARGS...: $work/bin/OvnK740FpgaUpdater.exe under Wine from $work/bin, its output
# shown; where this machine's Wine cannot run it, the script ends as skipped.
run_updater() {
    run_name=$1
    shift
    run_wine "$run_name" "$work/bin" 300 "$work/bin/OvnK740FpgaUpdater.exe" "$@"
    show_run "$run_name"
    if [ "$(exit_code "$run_name")" = 77 ]; then exit 77; fi
}
# The run-once values that name the utility, as reg.exe shows them, in both views.
# A query that does not answer says so on the console, so that an empty list is not mistaken for it.
run_once() {
    for view in 32 64; do
        timeout --foreground 60 "$wine_run" reg query \
            'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' \
            /reg:$view 2>/dev/null </dev/null >"$work/reg-query.txt"
        reg_status=$?
        [ "$reg_status" -eq 0 ] || echo "run_once: reg query /reg:$view ended with $reg_status" >&2
        tr -d '\r' <"$work/reg-query.txt" | grep OvnK740FpgaUpdater
    done
}
# A new session: the server ends, and the next start runs the run-once values and waits for them.
new_session() {
    wineserver -k
    persistent_server
    timeout --foreground 300 "$wine_run" cmd /c exit </dev/null >/dev/null 2>&1
}
# restart: the simulated machine applies its pending disable ($apply_restart), then a new session.
restart() {
    timeout --foreground 60 "$wine_run" "$apply_restart" </dev/null >/dev/null 2>&1
    new_session
}
# finish_cycle_checks TITLE: finish_checks, with the end of the utility's log ($log) after a failure.
finish_cycle_checks() {
    if [ "$failures" -ne 0 ]; then
        echo "--- log"
        tr -d '\r' <"$log" 2>/dev/null | tail -40
    fi
    finish_checks "$1"
}
