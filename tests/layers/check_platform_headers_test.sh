#!/usr/bin/env bash
# scripts/check-platform-headers.sh on small trees: each row is the files
# of a tree (path=line, ...), the pending list, the exit status and a line
# the output must hold.
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
    echo "$line" >"$tree/$path"
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
