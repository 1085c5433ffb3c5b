#!/usr/bin/env python3
"""Writes the analysers' compile database: the elevated product's C++ files from the Windows build's
compile_commands.json, one entry each, and the kernel driver's C files in both widths.

usage: analysis_commands.py SOURCE_DIR WINDOWS_BUILD_DIR OUT_DIR

clang cannot take the MinGW g++ command as it is: clang 14 does not find GCC's C++ headers under the
"12-posix" directory Debian names them by, and it does not know GCC's -Wno-restrict. So each command
is rewritten for clang++ --target=<triple> with the MinGW sysroot and libstdc++'s directories named
explicitly; the windows.h it then reads is the same one the product is built with.
"""
import glob
import json
import os
import re
import shlex
import sys

# What runs elevated or in the kernel: the updater and the components it installs and starts.
PRODUCT_DIRS = ("app", "base", "components", "device", "hwaccess", "payload", "platform", "text", "xsvf")
# Tests, test doubles, benchmarks, fuzzers and the simulated machine never ship.
NOT_PRODUCT = re.compile(
    r"(_test|_testutil|_test_win|_bench|_fuzz|_sim)\.cpp$|/sim_[^/]*\.cpp$|/test_hooks_simulation\.cpp$"
)
DRIVER_SOURCES = ("ovnvxd_driver.c", "ovnvxd_core.c", "ovnvxd_pci.c")
DRIVER_TRIPLES = ("i686-w64-mingw32", "x86_64-w64-mingw32")
DROPPED_FLAGS = {"-Wno-restrict", "-Werror"}


def mingw_gcc_cxx_dir(triple):
    """libstdc++'s headers of the MinGW GCC installed for triple (Debian: gcc/<triple>/<N>-posix)."""
    found = sorted(glob.glob(f"/usr/lib/gcc/{triple}/*-posix/include/c++"))
    if not found:
        sys.exit(f"analysis: no MinGW libstdc++ headers for {triple}")
    return found[-1]


def clang_target_flags(triple, cxx):
    flags = [f"--target={triple}", f"--sysroot=/usr/{triple}"]
    if cxx:
        base = mingw_gcc_cxx_dir(triple)
        flags += ["-nostdinc++", "-isystem", base, "-isystem", f"{base}/{triple}",
                  "-isystem", f"{base}/backward"]
    return flags


def rewrite(entry, triple):
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    kept = []
    skip = False
    for a in args[1:]:
        if skip:
            skip = False
            continue
        if a == "-o":
            skip = True
            continue
        if a in DROPPED_FLAGS:
            continue
        kept.append(a)
    return ["clang++"] + clang_target_flags(triple, True) + kept


def main():
    source_dir, build_dir, out_dir = (os.path.abspath(p) for p in sys.argv[1:4])
    with open(os.path.join(build_dir, "compile_commands.json"), encoding="utf-8") as f:
        database = json.load(f)
    entries = {}
    for entry in database:
        path = os.path.abspath(os.path.join(entry["directory"], entry["file"]))
        rel = os.path.relpath(path, source_dir)
        if not rel.endswith(".cpp") or rel.split(os.sep)[0] not in PRODUCT_DIRS:
            continue
        if NOT_PRODUCT.search("/" + rel) or path in entries:
            continue
        entries[path] = {"directory": entry["directory"], "file": path,
                         "arguments": rewrite(entry, "i686-w64-mingw32")}
    result = list(entries.values())
    # The driver is built by a custom command, so the database does not hold it: the same flags
    # as that command (components/ovnvxd/windows_components.cmake), one entry per width.
    driver_dir = os.path.join(source_dir, "components", "ovnvxd")
    for triple in DRIVER_TRIPLES:
        for name in DRIVER_SOURCES:
            path = os.path.join(driver_dir, name)
            result.append({"directory": out_dir, "file": path, "arguments": [
                "clang", *clang_target_flags(triple, False), "-std=c11", "-O2", "-Wall", "-Wextra",
                f"-I/usr/{triple}/include/ddk", f"-I{source_dir}", "-c", path]})
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "compile_commands.json"), "w", encoding="utf-8") as f:
        json.dump(result, f, indent=1)
    print(f"analysis: {len(entries)} product files, {len(DRIVER_SOURCES)} driver files x "
          f"{len(DRIVER_TRIPLES)} widths")


if __name__ == "__main__":
    main()
