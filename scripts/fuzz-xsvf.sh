#!/bin/sh
# Builds the XSVF fuzz target with clang and runs it for the given number of seconds (default 60);
# OVN_FUZZ_BUILD names another build directory.
set -eu
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OVN_FUZZ_BUILD:-$root/build/fuzz}"
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target xsvf_fuzz -j2
work="$build/xsvf-corpus"
mkdir -p "$work"
# The committed seeds stay untouched; new inputs collect in the build directory.
cd "$build"
exec ./xsvf/xsvf_fuzz -max_total_time="$seconds" -timeout=20 -max_len=4096 -print_final_stats=1 \
    "$work" "$root/xsvf/fuzz_corpus"
