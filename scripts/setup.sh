#!/bin/sh
# Installs what building, testing and analysing both editions needs on Debian 12; quiet when present.
set -eu

packages="cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev \
nlohmann-json3-dev python3-jsonschema g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
mingw-w64-tools wine wine32:i386 wine64 tmux osslsigncode openssl \
clang-tidy clang-tools cppcheck python3"

sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
# wine32 comes from the i386 architecture, which apt only knows after it is added and updated.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Quiet on success; the whole apt output when something goes wrong.
if ! $sudo_cmd apt-get update -qq >"$log" 2>&1; then
    cat "$log"
    exit 1
fi
# shellcheck disable=SC2086
if ! $sudo_cmd apt-get install -y -qq --no-install-recommends $missing >"$log" 2>&1; then
    cat "$log"
    exit 1
fi
