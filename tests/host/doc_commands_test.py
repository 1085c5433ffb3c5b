#!/usr/bin/env python3
"""Runs the commands of a document's `sh` blocks, in order, and holds each to the `text` block
under it (when there is one), so that a procedure's commands and outputs cannot go stale.

usage: doc_commands_test.py DOCUMENT TOOL... -- FILE...
Each TOOL (a program or script) is reachable on the PATH under its own name; each FILE is copied into
the fresh folder the blocks run in. A block fails when its commands end with a nonzero code.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(\S*)\s*$")


def blocks(text):
    """[(language, body, first line number)] of the fenced blocks that start at the margin."""
    found = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        start = i
        body = []
        i += 1
        while i < len(lines) and lines[i] != "```":
            body.append(lines[i])
            i += 1
        found.append((m.group(1), "\n".join(body) + "\n", start + 1, i + 1))
        i += 1
    return found, lines


def main(argv):
    if "--" not in argv or len(argv) < 2:
        print(__doc__.strip())
        return 2
    split = argv.index("--")
    document, tools, files = argv[0], argv[1:split], argv[split + 1:]
    with open(document, encoding="utf-8") as f:
        found, lines = blocks(f.read())
    work = tempfile.mkdtemp(prefix="ovn-doc-commands.")
    try:
        bin_dir = os.path.join(work, "bin")
        run_dir = os.path.join(work, "run")
        os.makedirs(bin_dir)
        os.makedirs(run_dir)
        for tool in tools:
            os.symlink(os.path.abspath(tool), os.path.join(bin_dir, os.path.basename(tool)))
        for name in files:
            shutil.copy(name, run_dir)
        env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""))
        failures = 0
        ran = 0
        for index, (language, body, first, last) in enumerate(found):
            if language != "sh":
                continue
            ran += 1
            done = subprocess.run(["sh", "-ec", body], cwd=run_dir, env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            where = f"{document}:{first}"
            if done.returncode != 0:
                failures += 1
                print(f"FAILED: the block at {where} ended with {done.returncode}:\n{body}"
                      f"  stdout: {done.stdout}\n  stderr: {done.stderr}")
                continue
            following = found[index + 1] if index + 1 < len(found) else None
            between = lines[last:following[2] - 1] if following else []
            if following and following[0] == "text" and all(not l.strip() for l in between):
                if done.stdout != following[1]:
                    failures += 1
                    print(f"FAILED: the block at {where} printed otherwise than the text at "
                          f"{document}:{following[2]}:\n--- printed\n{done.stdout}--- documented\n"
                          f"{following[1]}")
                    continue
                print(f"ok: {where} ran and printed the documented text")
            else:
                print(f"ok: {where} ran")
        # A document whose blocks lost their marks would otherwise pass with nothing run.
        if ran < 4:
            print(f"FAILED: only {ran} sh blocks in {document}")
            failures += 1
        print(f"{ran} blocks run, {failures} failed")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
