#!/bin/sh
# Creates a fresh Wine prefix and warms its server, or stops that server: the tests' shared prefix.
# usage: wine-prefix.sh create|stop PREFIX win64|win32
# A warm, persistent wineserver keeps Wine's background services from holding the pipes of the
# tests' first wine process open. A win32 prefix needs the 32-bit loader; where it cannot run, no
# prefix is made and the tests that need it report themselves skipped.
set -u
action=$1 prefix=$2 arch=$3
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ "$arch" = win32 ] && export WINEARCH=win32

loader() {
    if [ -n "${OVN_WINE:-}" ]; then
        echo "$OVN_WINE"
    elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo wine
    elif [ "$arch" = win64 ] && [ -x /usr/lib/wine/wine64 ]; then
        echo /usr/lib/wine/wine64
    fi
}

if [ "$action" = stop ]; then
    [ -d "$prefix" ] && wineserver -k >/dev/null 2>&1
    exit 0
fi

wine=$(loader)
if [ -z "$wine" ]; then
    echo "No Wine loader here runs $arch programs: no $arch prefix"
    exit 0
fi
[ "$wine" = /usr/lib/wine/wine64 ] && export WINELOADER=/usr/lib/wine/wine64
[ -d "$prefix" ] && wineserver -k >/dev/null 2>&1
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
start=$(date +%s)
if ! timeout --foreground 600 $wine wineboot -i </dev/null >"$prefix.boot.log" 2>&1; then
    echo "wineboot failed for $prefix; its output:"
    cat "$prefix.boot.log"
    exit 1
fi
# The server wineboot leaves ends by itself; `wineserver -p` would leave it so (wine_lib.sh,
# persistent_server): the persistent one starts after it.
wineserver -w
wineserver -p >/dev/null 2>&1 </dev/null
timeout --foreground 120 $wine cmd /c exit </dev/null >/dev/null 2>&1
echo "$arch prefix $prefix ready in $(($(date +%s) - start)) s"
