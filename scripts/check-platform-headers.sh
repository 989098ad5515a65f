#!/usr/bin/env bash
# Fails on a system header of one platform (POSIX, Linux or Windows)
# included by a file above the platform folders, or on a test of the
# platform there (#if/#ifdef on _WIN32, __linux__ and the like): serial/ and sim/ wrap the
# platform for everything above them, and files/ does the same for files.
# So the engine, the command-line tool and every Qt-side file build on
# Windows and Linux alike. tests/, bench/ and fuzz/ are not checked.
#
# Files that still include one while their code waits to move below are
# listed, with the header, in scripts/platform-headers-pending.txt; a listed
# file that no longer includes its header is reported too, so the list only
# shrinks.
#
#   scripts/check-platform-headers.sh [--root DIR] [--pending FILE]
#
# Exit status 0 when the tree keeps the rule, 1 when it does not.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pending=""
while [ $# -gt 0 ]; do
  case "$1" in
    --root) root=$(cd "$2" && pwd); shift ;;
    --pending) pending=$2; shift ;;
    *) echo "usage: $0 [--root DIR] [--pending FILE]" >&2; exit 2 ;;
  esac
  shift
done
pending=${pending:-$root/scripts/platform-headers-pending.txt}

exec python3 - "$root" "$pending" <<'PY'
import os
import re
import sys

root, pending_path = sys.argv[1], sys.argv[2]
PLATFORM_FOLDERS = ("serial", "sim", "files")
SKIPPED = {"tests", "bench", "fuzz", "build", "docs", "scripts", "cmake", "packaging", ".git"}
SOURCES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*<([^>]+)>')
PLATFORM_TEST = re.compile(r'^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|'
                           r'_MSC_VER|__MINGW32__|__MINGW64__|_POSIX_VERSION)\b')
# The C and C++ standard headers are everywhere; these are not.
PLATFORM = re.compile(
    r'^(unistd|fcntl|poll|termios|pthread|pwd|grp|signal|dirent|dlfcn|spawn|pty|utmp|syslog|libgen|'
    r'netdb|libudev|windows|winbase|winsock2|ws2tcpip|io|direct|setupapi|devguid|initguid|shlobj|'
    r'shlwapi|knownfolders|process|tchar)\.h$'
    r'|^(sys|linux|asm|netinet|arpa|net)/')

allowed = set()
if os.path.exists(pending_path):
    with open(pending_path, encoding="utf-8") as listing:
        for raw in listing:
            line = raw.split("#", 1)[0].strip()
            if line:
                path, _, header = line.partition(" ")
                allowed.add((path, header.strip()))

found = set()
problems = []
checked = 0
for folder, dirs, files in os.walk(root):
    rel_folder = os.path.relpath(folder, root)
    if rel_folder == ".":
        dirs[:] = [d for d in dirs if d not in SKIPPED and not d.startswith(".")]
        continue
    top = rel_folder.split(os.sep)[0]
    if top in PLATFORM_FOLDERS:
        continue
    for name in sorted(files):
        if not name.endswith(SOURCES):
            continue
        path = os.path.join(rel_folder, name).replace(os.sep, "/")
        checked += 1
        with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                if PLATFORM_TEST.match(line):
                    problems.append(f"{path}:{number}: {line.strip()}: a platform test above serial/, sim/ "
                                    f"and files/; put the platform's code there")
                    continue
                match = INCLUDE.match(line)
                if not match or not PLATFORM.search(match.group(1)):
                    continue
                header = match.group(1)
                found.add((path, header))
                if (path, header) not in allowed:
                    problems.append(f"{path}:{number}: #include <{header}>: a platform header above "
                                    f"serial/, sim/ and files/; wrap the call there")

for path, header in sorted(allowed - found):
    problems.append(f"{path}: no longer includes <{header}>: remove its line from "
                    f"{os.path.basename(pending_path)}")

for problem in problems:
    print(problem)
if problems:
    sys.exit(1)
print(f"platform headers kept below serial/, sim/ and files/: {checked} files"
      + (f" ({len(allowed)} pending)" if allowed else ""))
PY
