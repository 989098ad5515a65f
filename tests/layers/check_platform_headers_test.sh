#!/usr/bin/env bash
# scripts/check-platform-headers.sh on small trees: each row is the files
# of a tree (path=line, ...; \n in a line starts another), the pending
# list, the exit status and a line the output must hold.
set -uo pipefail
check=$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-platform-headers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rows=(
  'serial/a.cpp=#include <termios.h>|sim/b.cpp=#include <pty.h>|files/c.cpp=#include <sys/stat.h>||0|kept below serial/, sim/ and files/: 0 files'
  'engine/d.cpp=#include <string>|engine/e.h=#include <cstdio>||0|: 2 files'
  'engine/d.cpp=#include <unistd.h>||1|engine/d.cpp:1: #include <unistd.h>: a platform header above'
  'ui/f.cpp=#include <sys/ioctl.h>||1|ui/f.cpp:1: #include <sys/ioctl.h>'
  'ui/g.cpp=#include <windows.h>||1|ui/g.cpp:1: #include <windows.h>'
  'ui/h.cpp=#ifdef _WIN32||1|ui/h.cpp:1: #ifdef _WIN32: a platform test above'
  'ui/i.cpp=#if defined(__linux__) && X||1|ui/i.cpp:1: #if defined(__linux__) && X'
  'serial/j.cpp=#ifdef _WIN32||0|platform headers kept'
  'engine/d.cpp=#include <unistd.h>|engine/d.cpp unistd.h|0|(1 pending)'
  'engine/d.cpp=#include <string>|engine/d.cpp unistd.h|1|engine/d.cpp: no longer includes <unistd.h>'
  'tests/t.cpp=#include <unistd.h>||0|: 0 files'
  # POSIX calls: bare or ::-qualified, whole words, outside comments and
  # string literals; methods and names in other scopes are not calls of it.
  'report/k.cpp=  if (std::getenv("X") == nullptr) setenv("X", "1", 1);||1|report/k.cpp:1: setenv(): a POSIX call above'
  'app/l.cpp=return ::access(dir.c_str(), W_OK) == 0;||1|app/l.cpp:1: access(): a POSIX call'
  'link/m.cpp=pollfd p{fd, POLLIN, 0}; if (::poll (&p, 1, 0) > 0) {}||1|link/m.cpp:1: poll()'
  'ops/n.cpp=std::tm t{};\nlocaltime_r(&now, &t);||1|ops/n.cpp:2: localtime_r()'
  'ops/o.cpp=x = 1;\ny = gmtime_r(&now, &t);||1|ops/o.cpp:2: gmtime_r()'
  'ui/p.cpp=if (::stat(path, &st) != 0) return;||1|ui/p.cpp:1: stat()'
  'ui/q.cpp=int fd = ::open(path, 0); ::read(fd, b, 1); ::write(fd, b, 1); ::close(fd);||1|ui/q.cpp:1: close()'
  'ui/r.cpp=if (getuid() == 0 && geteuid() == 0) return getpid();||1|ui/r.cpp:1: geteuid()'
  'ui/s.cpp=return fork();||1|ui/s.cpp:1: fork()'
  'ui/t.cpp=bool t = isatty(fileno(stdin));||1|ui/t.cpp:1: fileno()'
  'ui/u.cpp=unsetenv("QT_QPA_PLATFORM");||1|ui/u.cpp:1: unsetenv()'
  'ui/v.cpp=// one\n/* two\n   three */\nint x = getpid();||1|ui/v.cpp:4: getpid()'
  "ui/w.cpp=int n = 1'000; char c = '(';  ::write(fd, &c, n);||1|ui/w.cpp:1: write()"
  'ui/x.h=inline void Set() { setenv("A", "b", 1); }||1|ui/x.h:1: setenv()'
  'ui/a.cpp=qputenv("QT_QPA_PLATFORM", "offscreen"); qEnvironmentVariableIsSet("X");||0|platform headers kept'
  'ui/b.cpp=file.open(QIODevice::ReadOnly); port_.close(); dev->read(b, 1); QFile::open(x); w.write(b);||0|platform headers kept'
  'ui/c.cpp=if (done) close(); // a widget closes itself||0|platform headers kept'
  'ui/d.cpp=// setenv("X", "1", 1) and ::poll( belong below\n/* getpid() */ int x = 0;||0|platform headers kept'
  'ui/e.cpp=const char* help = "uses fork() and ::stat(";||0|platform headers kept'
  'ui/f.cpp=auto s = R"(fork() and ::poll( )"; int mygetpid(); x = my::isatty(1); y = a.getuid();||0|platform headers kept'
  'ui/g.h=class Port { public: bool open(); void close(); int read(char* b); int fileno() const; };||0|platform headers kept'
  'serial/h.cpp=::poll(&p, 1, 0); setenv("A", "b", 1);|files/i.cpp=localtime_r(&t, &tm);||0|platform headers kept'
  'tests/j.cpp=setenv("A", "b", 1);||0|: 0 files'
)

failed=0
for row in "${rows[@]}"; do
  IFS='|' read -r -a cells <<<"$row"
  want_output=${cells[-1]}
  want_status=${cells[-2]}
  listed=${cells[-3]}
  tree="$work/tree"
  rm -rf "$tree"
  mkdir -p "$tree"
  echo "$listed" >"$tree/pending.txt"
  for file in "${cells[@]:0:${#cells[@]}-3}"; do
    path=${file%%=*} line=${file#*=}
    mkdir -p "$tree/$(dirname "$path")"
    printf '%b\n' "$line" >"$tree/$path"
  done
  status=0
  output=$("$check" --root "$tree" --pending "$tree/pending.txt") || status=$?
  if [ "$status" != "$want_status" ] || ! grep -qF -- "$want_output" <<<"$output"; then
    echo "FAILED: $row"
    echo "  exit $status, output:"
    sed 's/^/    /' <<<"$output"
    failed=1
  fi
done
exit $failed
