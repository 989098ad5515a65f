#!/usr/bin/env bash
# Fails on a system header of one platform (POSIX, Linux or Windows)
# included by a file above the platform folders, on a test of the
# platform there (#if/#ifdef on _WIN32, __linux__ and the like), or on a
# call that only POSIX offers (setenv, localtime_r, ::access, ::poll, ...;
# called bare or as ::name, not a method of the same name such as
# file.open(), and not in comments or string literals): serial/ and sim/
# wrap the platform for everything above them, and files/ does the same
# for files. So the engine, the command-line tool and every Qt-side file
# build on Windows and Linux alike. tests/, bench/ and fuzz/ are not checked.
#
# Files that still include one while their code waits to move below are
# listed, with the header, in scripts/platform-headers-pending.txt; a listed
# file that no longer includes its header is reported too, so the list only
# shrinks. POSIX calls have no such list.
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

# Calls only POSIX offers (Windows has other names or none), as whole
# words. A call counts when it is bare ("setenv(", "return fork()") or
# qualified by the global scope ("::setenv("); a method or a name in another
# scope ("file.open(", "port_->close(", "QFile::open(", "std::fork") and a
# declaration ("int fileno(") do not. The names of QUALIFIED_ONLY are also
# the names of the toolkit's own methods (a widget's bare close()), so only
# their "::name(" form counts.
BARE_OR_QUALIFIED = (
    "setenv", "unsetenv", "putenv", "localtime_r", "gmtime_r", "ctime_r", "asctime_r", "getuid", "geteuid",
    "getgid", "getegid", "getpid", "getppid", "fork", "vfork", "execv", "execvp", "waitpid", "isatty", "fileno",
    "fdopen", "lstat", "realpath", "mkstemp", "mkdtemp", "mkfifo", "usleep", "nanosleep", "tcgetattr",
    "tcsetattr", "getpwuid", "getpwnam", "getgrgid", "openpty", "posix_openpt")
QUALIFIED_ONLY = (
    "access", "poll", "select", "stat", "fstat", "open", "close", "read", "write", "pipe", "dup", "dup2", "ioctl",
    "fcntl", "unlink", "symlink", "readlink", "chmod", "chown", "kill", "flock")
CALL = re.compile(r"\b(" + "|".join(BARE_OR_QUALIFIED + QUALIFIED_ONLY) + r")\s*\(")
# Words after which a name and "(" are a call, not a declaration.
CALL_KEYWORDS = {"return", "else", "do", "case", "throw", "co_return", "co_await", "emit", "Q_EMIT", "sizeof",
                 "decltype", "noexcept", "not", "and", "or"}


def code_only(text):
    """The text with comments and the insides of string and character
    literals blanked (line ends kept, so line numbers still hold)."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(" " * (end - i))
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")
                                                         or text[i - 1] in "uUL8"):
            delim_end = text.find("(", i + 2)
            delimiter = text[i + 2:delim_end] if delim_end >= 0 else ""
            close = text.find(")" + delimiter + '"', delim_end + 1) if delim_end >= 0 else -1
            end = n if close < 0 else close + len(delimiter) + 2
            out.append('R"' + re.sub(r"[^\n]", " ", text[i + 2:end - 1]) + '"')
            i = end
        elif c in "\"'":
            if c == "'" and i > 0 and (text[i - 1].isalnum() or text[i - 1] == "_"):
                # A digit separator (1'000) rather than a character literal
                # (u8'x' and L'x' have a letter before the quote too).
                start = i
                while start > 0 and (text[start - 1].isalnum() or text[start - 1] in "_'"):
                    start -= 1
                if text[start].isdigit():
                    out.append(c)
                    i += 1
                    continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            end = min(j + 1, n)
            out.append(c + re.sub(r"[^\n]", " ", text[i + 1:end - 1]) + (text[end - 1] if end - 1 > i else ""))
            i = end
        else:
            out.append(c)
            i += 1
    return "".join(out)


def posix_calls(code):
    """(line number, name) of each POSIX call in `code` (see code_only)."""
    found = []
    for match in CALL.finditer(code):
        before = code[:match.start()].rstrip()
        if before.endswith("::"):
            scope = before[:-2].rstrip()
            word = re.search(r"([A-Za-z_]\w*)$", scope)
            if (word and word.group(1) not in CALL_KEYWORDS) or scope.endswith(">"):
                continue  # a name in a namespace or class: std::, QFile::
        elif before.endswith(".") or before.endswith("->"):
            continue  # a method
        elif match.group(1) in QUALIFIED_ONLY:
            continue
        else:
            word = re.search(r"([A-Za-z_]\w*)$", before)
            if word and word.group(1) not in CALL_KEYWORDS:
                continue  # a declaration: "void close(", "int read("
            if before.endswith(("*", "&", "~")) and not before.endswith(("&&", "||")):
                # a pointer or reference declaration, or a destructor
                prev = before.rstrip("*& ~")
                if prev and (prev[-1].isalnum() or prev[-1] in "_>"):
                    continue
        found.append((code.count("\n", 0, match.start()) + 1, match.group(1)))
    return found


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
            text = source.read()
        for number, name_called in posix_calls(code_only(text)):
            problems.append(f"{path}:{number}: {name_called}(): a POSIX call above serial/, sim/ and files/; "
                            f"call a wrapper there (or the toolkit's own)")
        for number, line in enumerate(text.split("\n"), 1):
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
