#!/bin/sh
# Static analysis of what runs elevated or in the kernel; nonzero on any finding not suppressed at its line.
#
# What is analysed: the updater and the components it installs and starts, as the Windows edition
# builds them (scripts/analysis_commands.py picks the files: no tests, no simulated machine), and
# the kernel driver's C in both widths.
#   clang-tidy   .clang-tidy's checks on all of it. Its clang-analyzer-* checks are clang's static
#                analyser (the engine of `clang --analyze` and scan-build), so the C++ goes through
#                the analyser once, here.
#   clang        --analyze on the driver in both widths, as scan-build would run it.
#   cppcheck     the driver in both widths, against the MinGW DDK headers it is built with.
# How clang reads the Windows sources: the Windows edition's compile_commands.json (configured in
# build/analysis/windows, apart from build/windows, so this can run beside the windows workflow),
# each command rewritten for clang++ --target=i686-w64-mingw32 --sysroot=/usr/i686-w64-mingw32
# with libstdc++'s MinGW directories named (clang 14 does not find Debian's "12-posix" GCC).
# OVN_ANALYSIS_JOBS sets the parallel jobs (default 2). Reports in build/analysis/*.log.
set -u
cd "$(dirname "$0")/.."
out=build/analysis
jobs=${OVN_ANALYSIS_JOBS:-2}
start=$(date +%s)
mkdir -p "$out"

if ! cmake -S . -B "$out/windows" -G Ninja --toolchain cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DOVN_BENCH=OFF >"$out/configure.log" 2>&1; then
    cat "$out/configure.log"
    echo "static-analysis: configuring the Windows edition failed"
    exit 1
fi
python3 scripts/analysis_commands.py . "$out/windows" "$out" || exit 1

failed=""

# Every check's finding is an error (.clang-tidy: WarningsAsErrors), so a finding fails its file.
# run-clang-tidy always asks for colour; the log goes without it.
if run-clang-tidy -quiet -p "$out" -j "$jobs" >"$out/clang-tidy.log" 2>&1; then
    tidy=0
else
    tidy=1
fi
sed -i 's/\x1b\[[0-9;]*m//g' "$out/clang-tidy.log"
if [ "$tidy" -eq 0 ]; then
    echo "static-analysis: clang-tidy clean"
else
    grep -E "(warning|error): " "$out/clang-tidy.log" | sort -u
    failed="$failed clang-tidy"
fi

driver_sources="components/ovnvxd/ovnvxd_driver.c components/ovnvxd/ovnvxd_core.c components/ovnvxd/ovnvxd_pci.c"
: >"$out/clang-analyze.log"
: >"$out/cppcheck.log"
for triple in i686-w64-mingw32 x86_64-w64-mingw32; do
    if [ "$triple" = i686-w64-mingw32 ]; then
        arch="-D__i386__ -D_M_IX86 -D_X86_"
        platform=win32W
    else
        arch="-D__x86_64__ -D_M_AMD64 -D_AMD64_ -D_WIN64 -D__MINGW64__"
        platform=win64
    fi
    for source in $driver_sources; do
        # shellcheck disable=SC2086
        clang --analyze --analyzer-output text -Xclang -analyzer-werror --target="$triple" \
            --sysroot="/usr/$triple" -std=c11 -I"/usr/$triple/include/ddk" -I. -o /dev/null \
            "$source" >>"$out/clang-analyze.log" 2>&1 || failed="$failed clang-analyze($triple:$source)"
    done
    # cppcheck has a preprocessor of its own: it is told what GCC would define for the width. The
    # DDK headers are read for their types and macros; findings inside them are not ours.
    # shellcheck disable=SC2086
    cppcheck --quiet --std=c11 --platform="$platform" --enable=warning,style,performance,portability \
        --inline-suppr --error-exitcode=1 --suppress='*:/usr/*' -j "$jobs" \
        -D_WIN32 -D__MINGW32__ -D__GNUC__=12 $arch -I. -I"/usr/$triple/include/ddk" \
        -I"/usr/$triple/include" $driver_sources >>"$out/cppcheck.log" 2>&1 ||
        failed="$failed cppcheck($triple)"
done
if [ -s "$out/clang-analyze.log" ]; then
    cat "$out/clang-analyze.log"
else
    echo "static-analysis: clang --analyze clean"
fi
if [ -s "$out/cppcheck.log" ]; then
    cat "$out/cppcheck.log"
else
    echo "static-analysis: cppcheck clean"
fi

echo "static-analysis: finished in $(($(date +%s) - start)) s"
if [ -n "$failed" ]; then
    echo "static-analysis: findings from:$failed"
    exit 1
fi
