#!/bin/sh
# Runs a Windows program under Wine with the loader that fits its width; exit 77 when none here can.
# usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]   (CTest's emulator for the Windows builds)
# OVN_WINE names a wine command to use instead. WINEPREFIX and WINEDEBUG come from the caller.
set -u
program=$1

# The PE header's machine field: 014c i386, 8664 x86-64.
pe_machine() {
    offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$offset" ] || return 1
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

# Debian's `wine` starts the 32-bit loader first, which fails on a kernel that cannot run 32-bit
# programs; the 64-bit loader still runs 64-bit Windows programs there.
if [ -n "${OVN_WINE:-}" ]; then
    exec $OVN_WINE "$@"
fi
if /usr/lib/wine/wine --version >/dev/null 2>&1 || ! [ -x /usr/lib/wine/wine ]; then
    if command -v wine >/dev/null 2>&1; then
        exec wine "$@"
    fi
fi
case "$(pe_machine "$program")" in
8664)
    if [ -x /usr/lib/wine/wine64 ]; then
        export WINELOADER=/usr/lib/wine/wine64
        exec /usr/lib/wine/wine64 "$@"
    fi
    ;;
esac
echo "SKIP: this machine's Wine cannot run $program (32-bit Linux programs do not run here)"
exit 77
