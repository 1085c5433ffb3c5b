#!/bin/sh
# Builds the XSVF fuzz targets with clang and runs them one after the other: the validator alone
# (xsvf_validate_fuzz, fast, millions of runs) and validation against play on the simulated card
# (xsvf_fuzz, slow: every play poisons its 14 MB of vector buffers).
# usage: fuzz-xsvf.sh [SECONDS]   each target runs SECONDS (default 60)
#   OVN_FUZZ_VALIDATOR_RUNS=N     the validator runs N executions instead of SECONDS
#   OVN_FUZZ_MERGE=1              afterwards, new inputs that reach code the committed corpus does
#                                 not are merged into xsvf/fuzz_corpus (for committing)
#   OVN_FUZZ_BUILD=DIR            another build directory
set -eu
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OVN_FUZZ_BUILD:-$root/build/fuzz}"
seeds="$root/xsvf/fuzz_corpus"
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target xsvf_validate_fuzz xsvf_fuzz -j2
# The committed seeds stay untouched during the runs; new inputs collect in the build directory.
mkdir -p "$build/xsvf-validate-corpus" "$build/xsvf-corpus"
cd "$build"

if [ -n "${OVN_FUZZ_VALIDATOR_RUNS:-}" ]; then
    limit="-runs=$OVN_FUZZ_VALIDATOR_RUNS"
else
    limit="-max_total_time=$seconds"
fi
echo "fuzz-xsvf: validator alone ($limit)"
./xsvf/xsvf_validate_fuzz "$limit" -timeout=20 -max_len=4096 -print_final_stats=1 \
    xsvf-validate-corpus "$seeds"

echo "fuzz-xsvf: validator against player (-max_total_time=$seconds)"
./xsvf/xsvf_fuzz -max_total_time="$seconds" -timeout=20 -max_len=4096 -print_final_stats=1 \
    xsvf-corpus "$seeds"

if [ "${OVN_FUZZ_MERGE:-0}" = 1 ]; then
    ./xsvf/xsvf_validate_fuzz -merge=1 "$seeds" xsvf-validate-corpus
    ./xsvf/xsvf_fuzz -merge=1 -timeout=20 "$seeds" xsvf-corpus
    echo "fuzz-xsvf: $(ls "$seeds" | wc -l) inputs in xsvf/fuzz_corpus"
fi
