#!/usr/bin/env python3
"""Holds the include lines of every source file to the folder order that docs/architecture.md
states, so that neither the code's layering nor the page can drift.

usage: include_layers_test.py SOURCE_DIR ARCHITECTURE_PAGE

Fails, printing the offending chain, when
  - files include each other in a cycle,
  - modules include each other in a cycle (a module: a header and the sources named after it, so
    a.cpp including b.h while b.cpp includes a.h is a cycle too; tests are left out),
  - folders include each other in a cycle,
  - a folder includes one its row of the page's "Include order" table does not name, or the table
    names one it no longer includes (the table is the real graph, not a wish),
  - the fixed order is broken: the layers below the application never include app/, and in app/
    every include points down run -> {programming, cycle, results} -> {host, console}, with at
    most one edge between the rooms of the middle row.
A folder is a top-level folder, except in app/ and components/, where each room or component is a
folder of its own; a folder's tests (*_test, *_testutil, *_bench, *_fuzz) are held apart from its
sources, since they may include more.
"""
import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp", ".S", ".rc")
SKIPPED_TOP = {"build", ".git", "docs", "cmake", "scripts", "samples"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
TABLE_HEADING = "## Include order"
# A folder's tests, benchmarks and fuzz targets sit above its own sources: they may include what the
# sources may not (the simulated machine, the doubles), and they have a column of their own.
TEST_SOURCE = re.compile(r"_(test|testutil|bench|fuzz)(_win|_posix|_sim)?\.(h|cpp|c)$")
TESTS_NODE = " tests"

# The layers that the application is built on: none of them includes app/.
BELOW_APP = ["text", "base", "platform", "hwaccess", "xsvf", "device"]
# The rooms of app/, by height: an include may point to a lower room only, or sideways in the
# middle row at most once.
ROOM_HEIGHT = {"run": 3, "programming": 2, "cycle": 2, "results": 2, "host": 1, "console": 1}
SIDEWAYS_ALLOWED = 1


def source_files(root):
    found = []
    for top in sorted(os.listdir(root)):
        if top in SKIPPED_TOP or top.startswith(".") or not os.path.isdir(os.path.join(root, top)):
            continue
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    found.append(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    return found


def includes_of(root, path):
    """[(line number, included path)] of the quoted includes that name a file of the tree."""
    found = []
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m and os.path.isfile(os.path.join(root, m.group(1))):
                found.append((number, m.group(1)))
    return found


def folder_of(path):
    """(folder, whether the file is a test's): a room of app/ and a component of components/ are
    folders of their own."""
    parts = path.split("/")
    if parts[0] in ("app", "components") and len(parts) > 2:
        folder = parts[0] + "/" + parts[1]
    else:
        folder = parts[0]
    return folder, parts[0] not in ("tests", "testing") and bool(TEST_SOURCE.search(parts[-1]))


PLATFORM_SUFFIX = re.compile(r"_(win|posix|sim)$")


def module_of(path):
    """The module a file belongs to: its path without the extension and the platform's suffix."""
    stem = os.path.splitext(path)[0]
    return PLATFORM_SUFFIX.sub("", stem)


def node_of(path):
    folder, test = folder_of(path)
    return folder + TESTS_NODE if test else folder


def find_cycle(graph):
    """One cycle of graph {node: {successor: evidence}} as a list of nodes, or None."""
    colour = {}
    stack = []

    def visit(node):
        colour[node] = 1
        stack.append(node)
        for nxt in sorted(graph.get(node, {})):
            if colour.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in colour:
                cycle = visit(nxt)
                if cycle:
                    return cycle
        stack.pop()
        colour[node] = 2
        return None

    for node in sorted(graph):
        if node not in colour:
            cycle = visit(node)
            if cycle:
                return cycle
    return None


def chain_text(cycle, graph):
    lines = []
    for a, b in zip(cycle, cycle[1:]):
        lines.append(f"  {a} -> {b}   ({graph[a][b]})")
    return "\n".join(lines)


def names_in(cell):
    """The folders a cell names: `hwaccess/` its sources, `hwaccess/ tests` its tests' helpers."""
    return {n.replace("/ tests", TESTS_NODE).rstrip("/") for n in re.findall(r"`([^`]+)`", cell)}


def read_table(page):
    """{node: set of nodes} from the page's include-order table: per folder, what its sources
    include and what its tests include besides the folder itself."""
    with open(page, encoding="utf-8") as f:
        lines = f.read().splitlines()
    try:
        start = lines.index(TABLE_HEADING)
    except ValueError:
        sys.exit(f"{page}: no '{TABLE_HEADING}' section")
    table = {}
    for line in lines[start + 1:]:
        if line.startswith("## "):
            break
        if not line.startswith("|"):
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 3 or not cells[0].startswith("`"):
            continue
        folder = cells[0].strip("`").rstrip("/")
        if cells[1] != "-":
            table[folder] = names_in(cells[1])
        if cells[2] != "-":
            table[folder + TESTS_NODE] = names_in(cells[2]) | {folder}
    if not table:
        sys.exit(f"{page}: the '{TABLE_HEADING}' section has no table rows")
    return table


def shown(node):
    return node[: -len(TESTS_NODE)] + "/ tests" if node.endswith(TESTS_NODE) else node + "/"


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    root, page = argv[1], argv[2]
    files = source_files(root)
    file_set = set(files)
    file_graph = {}
    module_graph = {}
    node_graph = {}
    failures = []
    for path in files:
        file_graph.setdefault(path, {})
        node = node_of(path)
        node_graph.setdefault(node, {})
        for number, target in includes_of(root, path):
            evidence = f"{path}:{number} includes {target}"
            file_graph[path].setdefault(target, evidence)
            if not TEST_SOURCE.search(path) and module_of(target) != module_of(path):
                module_graph.setdefault(module_of(path), {}).setdefault(module_of(target), evidence)
            target_node = node_of(target)
            if target_node != node:
                node_graph[node].setdefault(target_node, evidence)

    cycle = find_cycle(file_graph)
    if cycle:
        failures.append("files include each other in a cycle:\n" + chain_text(cycle, file_graph))
    cycle = find_cycle(module_graph)
    if cycle:
        failures.append("modules include each other in a cycle:\n" + chain_text(cycle, module_graph))
    cycle = find_cycle(node_graph)
    if cycle:
        failures.append("folders include each other in a cycle:\n" + chain_text(cycle, node_graph))

    sideways = []
    for node, targets in sorted(node_graph.items()):
        folder = node.removesuffix(TESTS_NODE)
        for target, evidence in sorted(targets.items()):
            target_folder = target.removesuffix(TESTS_NODE)
            if folder in BELOW_APP and target_folder.startswith("app"):
                failures.append(f"{folder}/ lies below the application but includes {target_folder}/: {evidence}")
            if folder.startswith("app/") and target_folder.startswith("app/") and folder != target_folder:
                mine = ROOM_HEIGHT.get(folder[4:])
                theirs = ROOM_HEIGHT.get(target_folder[4:])
                if mine is None or theirs is None:
                    failures.append(f"{folder}/ or {target_folder}/ is not a room of app/: {evidence}")
                elif theirs > mine:
                    failures.append(f"{folder}/ includes the higher room {target_folder}/: {evidence}")
                elif theirs == mine:
                    sideways.append(f"{folder}/ -> {target_folder}/: {evidence}")
    if len(sideways) > SIDEWAYS_ALLOWED:
        failures.append(f"more than {SIDEWAYS_ALLOWED} include edge between rooms of one height:\n  " +
                        "\n  ".join(sideways))

    table = read_table(page)
    for node in sorted(set(node_graph) | set(table)):
        real = set(node_graph.get(node, {}))
        stated = table.get(node)
        if stated is None:
            failures.append(f"{page}: the include-order table has no entry for {shown(node)} "
                            f"(it includes {', '.join(shown(n) for n in sorted(real)) or 'nothing'})")
            continue
        if node not in node_graph:
            failures.append(f"{page}: the include-order table has an entry for {shown(node)}, which holds no source")
            continue
        for target in sorted(real - stated):
            failures.append(f"{page}: {shown(node)} includes {shown(target)}, which its entry does not name: "
                            f"{node_graph[node][target]}")
        for target in sorted(stated - real):
            failures.append(f"{page}: the entry of {shown(node)} names {shown(target)}, which none of its files includes")

    if failures:
        print("\n".join(failures))
        return 1
    print(f"{len(files)} files in {len(node_graph)} folders and test sets: the includes follow {page}'s order")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
