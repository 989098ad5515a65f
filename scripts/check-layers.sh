#!/usr/bin/env bash
# Fails on an #include "..." that crosses a layer the wrong way, or on an
# include cycle inside a folder that must have none. The allowed pairs are
# in scripts/layers.txt. Every source folder is read except tests/, bench/
# and fuzz/; each violation is printed as file:line and the rule it breaks.
#
# It also fails where a front end uses a name its table line hides (the
# protocol layer's names reach a front end through the document's header,
# an #include alone cannot tell).
#
#   scripts/check-layers.sh [--root DIR] [--table FILE]
#
# Exit status 0 when the tree keeps the table, 1 when it does not, 2 when
# the table cannot be read.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
table=""
while [ $# -gt 0 ]; do
  case "$1" in
    --root) root=$(cd "$2" && pwd); shift ;;
    --table) table=$2; shift ;;
    *) echo "usage: $0 [--root DIR] [--table FILE]" >&2; exit 2 ;;
  esac
  shift
done
table=${table:-$root/scripts/layers.txt}
[ -r "$table" ] || { echo "no layer table at $table" >&2; exit 2; }

exec python3 - "$root" "$table" <<'PY'
import os
import re
import sys

root, table_path = sys.argv[1], sys.argv[2]
# Not layers: tests and tools link what they test or measure.
SKIPPED = {"tests", "bench", "fuzz", "build", "docs", "scripts", "cmake", "packaging"}
SOURCES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')

allowed = {}
acyclic = []
hidden = []  # ([folders], [names]) of each "hidden:" line
with open(table_path, encoding="utf-8") as table:
    for number, raw in enumerate(table, 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        key, sep, rest = line.partition(":")
        if not sep:
            sys.exit(f"{table_path}:{number}: expected '<folder>: <folders>'")
        key = key.strip()
        if key == "acyclic":
            acyclic += rest.split()
        elif key == "hidden":
            folders, bar, names = rest.partition("|")
            if not bar:
                sys.exit(f"{table_path}:{number}: expected 'hidden: <folders> | <names>'")
            hidden.append((folders.split(), names.split()))
        else:
            allowed[key] = set(rest.split())


def layer_of(folder):
    """The longest folder of the table that holds `folder`, or None."""
    best = None
    for key in allowed:
        if (folder == key or folder.startswith(key + "/")) and (best is None or len(key) > len(best)):
            best = key
    return best


files = []
for top, dirs, names in os.walk(root):
    rel = os.path.relpath(top, root)
    if rel == ".":
        dirs[:] = sorted(d for d in dirs if d not in SKIPPED and not d.startswith((".", "build")))
        continue
    dirs.sort()
    files += [os.path.join(rel, n) for n in sorted(names) if n.endswith(SOURCES)]


def name_pattern(name):
    """A hidden name as code spells it: "frame::" a namespace, ".x()" a member call, else a word."""
    if name.endswith("::"):
        return re.compile(r"\b" + re.escape(name))
    if name.startswith("."):
        return re.compile(r"(\.|->)\s*" + re.escape(name[1:]))
    return re.compile(r"\b" + re.escape(name) + r"\b")


STRING = re.compile(r'"(?:[^"\\\n]|\\.)*"')
hidden = [(folders, [(n, name_pattern(n)) for n in names]) for folders, names in hidden]
failures = 0
units = {}  # unit of an acyclic folder -> {included unit: where}
for path in files:
    folder = os.path.dirname(path)
    own = layer_of(folder)
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
        lines = source.readlines()
    hides = [pair for folders, names in hidden for pair in names
             if any(folder == f or folder.startswith(f + "/") for f in folders)]
    for number, text in enumerate(lines, 1):
        match = INCLUDE.match(text)
        if hides and not match:
            code = STRING.sub('""', text).split("//", 1)[0]
            for name, pattern in hides:
                if pattern.search(code):
                    print(f"{path}:{number}: {own} may not use {name} (the engine's face speaks for it)")
                    failures += 1
        if not match:
            continue
        header = match.group(1)
        where = f"{path}:{number}: #include \"{header}\""
        if own is None:
            print(f"{where}: folder {folder} has no line in {os.path.basename(table_path)}")
            failures += 1
            continue
        target = layer_of(os.path.dirname(header)) if "/" in header else own
        if target is None:
            print(f"{where}: {header} is in no layer of the table")
            failures += 1
        elif target != own and target not in allowed[own]:
            rule = " ".join(sorted(allowed[own])) or "nothing of the project"
            print(f"{where}: {own} may not include {target} ({own} may include: {rule})")
            failures += 1
        elif own in acyclic and target in acyclic and "/" in header:
            # The acyclic folders form one graph, so that a cycle through
            # two of them (a model and the document) is found too.
            unit, used = os.path.splitext(path)[0], os.path.splitext(header)[0]
            if unit != used:
                units.setdefault(unit, {}).setdefault(used, where)


def cycles(graph):
    """One cycle through each strongly connected group of units."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, {}):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = set()
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.add(member)
                if member == node:
                    break
            if len(group) > 1:
                groups.append(group)

    for node in sorted(graph):
        if node not in index:
            visit(node)
    for group in groups:
        # The shortest way back to the group's first unit.
        start = min(group)
        paths = {start: [start]}
        queue = [start]
        while queue:
            node = queue.pop(0)
            for nxt in sorted(graph.get(node, {})):
                if nxt == start:
                    yield paths[node] + [start]
                    queue = []
                    break
                if nxt in group and nxt not in paths:
                    paths[nxt] = paths[node] + [nxt]
                    queue.append(nxt)


sys.setrecursionlimit(10000)
for cycle in cycles(units):
    names = " -> ".join(os.path.basename(unit) for unit in cycle)
    folders = " and ".join(sorted({layer_of(os.path.dirname(unit)) for unit in cycle}))
    for a, b in zip(cycle, cycle[1:]):
        print(f"{units[a][b]}: include cycle in {folders}: {names}")
    failures += 1

if failures:
    print(f"{failures} layer violation(s); allowed pairs: {os.path.relpath(table_path, root)}")
    sys.exit(1)
print(f"layers kept: {len(files)} files")
PY
