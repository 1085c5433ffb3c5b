#!/bin/sh
# OvnXsvfCheck's documented outputs: the sample's text and JSON reports against their goldens,
# the verdict line and exit code of every named corpus image (each malformed case among them), the
# estimate's pacing, and the exit codes of an unreadable image, usage errors and a link as trace.
# usage: check_outputs_test.sh OVNXSVFCHECK SAMPLES_DIR CORPUS_DIR GOLDENS_DIR
set -u
exe=$1
samples=$2
corpus=$3
goldens=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/ovn-xsvf-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {
    what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
same() { diff -u "$1" "$2" || { echo "  (golden $1, output $2)"; return 1; }; }
# run NAME ARGS...: output in $work/NAME, standard error in $work/NAME.err, exit code in $work/NAME.rc
run() {
    name=$1
    shift
    "$exe" "$@" >"$work/$name" 2>"$work/$name.err"
    echo $? >"$work/$name.rc"
}
rc() { cat "$work/$1.rc"; }
said() { grep -qF -- "$2" "$work/$1.err" || { echo "  stderr: $(cat "$work/$1.err")"; return 1; }; }

run text "$samples/k740_demo.xsvf"
check "the sample's text report is the golden" same "$goldens/k740_demo.txt" "$work/text"
check "the sample is valid: exit 0" test "$(rc text)" = 0
run json --json "$samples/k740_demo.xsvf"
check "the sample's JSON report is the golden" same "$goldens/k740_demo.json" "$work/json"
run slower --writes-per-second 100000 "$samples/k740_demo.xsvf"
check "half the writes per second, twice the estimate" \
    grep -qF "Estimated programming time: 30.8 s at 100000 writes per second" "$work/slower"

# Each named corpus image: its verdict line (the utility's refusal for the malformed ones).
: >"$work/corpus"
for image in $(cd "$corpus" && LC_ALL=C ls *.xsvf); do
    run one "$corpus/$image"
    echo "$image exit $(rc one): $(sed -n 2p "$work/one")" >>"$work/corpus"
done
check "every named corpus image gives its documented verdict" same "$goldens/corpus.txt" "$work/corpus"

run missing "$work/no-such.xsvf"
check "a missing image: exit 2" test "$(rc missing)" = 2
check "a missing image is named" said missing "no-such.xsvf' cannot be read"
run folder "$work"
check "a folder as image: exit 2" test "$(rc folder)" = 2
run none
check "no image: exit 3 and the usage" test "$(rc none)" = 3
check "no image is said" said none "no image named"
run unknown --fast "$samples/k740_demo.xsvf"
check "an unknown option: exit 3" test "$(rc unknown)" = 3
run zero --writes-per-second 0 "$samples/k740_demo.xsvf"
check "0 writes per second: exit 3" test "$(rc zero)" = 3
run help --help
check "--help: exit 0 with the exit codes" grep -qF "exit codes: 0 valid" "$work/help"

echo "keep" >"$work/target"
ln -s "$work/target" "$work/link.txt"
run link --trace "$work/link.txt" "$samples/k740_demo.xsvf"
check "a link as the trace's name: exit 2" test "$(rc link)" = 2
check "a link as the trace's name is refused" said link "is a link; the trace is not written"
check "the link's target is untouched" grep -qx keep "$work/target"
run traced --trace "$work/trace.txt" "$corpus/idcode_check.xsvf"
check "a trace of a valid image: exit 0" test "$(rc traced)" = 0
check "the trace starts with the card's reset" grep -q "^03:00.0 WAIT Test-Logic-Reset" "$work/trace.txt"
check "no temporary file is left" test "$(ls "$work" | grep -c '\.tmp')" = 0
run refused --trace "$work/refused.txt" "$corpus/illegal_command.xsvf"
check "a malformed image is not played: exit 1, no trace" \
    sh -c "test $(rc refused) = 1 && test ! -e '$work/refused.txt'"

echo "$failures failed"
test "$failures" = 0
