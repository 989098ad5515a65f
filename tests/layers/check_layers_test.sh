#!/usr/bin/env bash
# scripts/check-layers.sh on small trees: each row is the source files of a
# tree (path=include, or path=code:TEXT for a line of code), the exit
# status and a line the output must hold.
set -uo pipefail
check=$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rows=(
  'low/a.h=|high/b.cpp=low/a.h|0|layers kept: 2 files'
  'low/a.h=high/b.h|high/b.h=|1|low/a.h:1: #include "high/b.h": low may not include high (low may include: nothing of the project)'
  'high/b.h=|high/c.h=high/b.h|high/b.cpp=high/c.h|1|high/b.cpp:1: #include "high/c.h": include cycle in high: b -> c -> b'
  'high/b.h=|high/new/d.h=high/b.h|0|layers kept'
  'other/e.h=low/a.h|low/a.h=|1|other/e.h:1: #include "low/a.h": folder other has no line in layers.txt'
  'tests/t.cpp=high/b.h|low/a.h=|0|layers kept: 1 files'
  'mid/m.h=high/b.h|high/b.h=|high/b.cpp=mid/m.h|1|include cycle in high and mid: b -> m -> b'
  'high/b.cpp=code:int x = low::kValue;|1|high/b.cpp:1: high may not use low:: (the engine'"'"'s face speaks for it)'
  'high/b.cpp=code:auto& c = doc->secret();|1|high/b.cpp:1: high may not use .secret()'
  'high/b.cpp=code:const char* t = "low::kValue"; // low::kValue|0|layers kept'
  'mid/m.cpp=code:int y = low::kValue + secret();|0|layers kept'
)

failed=0
for row in "${rows[@]}"; do
  IFS='|' read -r -a cells <<<"$row"
  want_output=${cells[-1]}
  want_status=${cells[-2]}
  tree="$work/tree"
  rm -rf "$tree"
  mkdir -p "$tree"
  printf 'low:\nmid: high\nhigh: low mid\nacyclic: high mid\nhidden: high | low:: .secret()\n' >"$tree/layers.txt"
  for file in "${cells[@]:0:${#cells[@]}-2}"; do
    path=${file%%=*} include=${file#*=}
    mkdir -p "$tree/$(dirname "$path")"
    if [ "${include#code:}" != "$include" ]; then echo "${include#code:}" >"$tree/$path"
    elif [ -n "$include" ]; then echo "#include \"$include\"" >"$tree/$path"; else : >"$tree/$path"; fi
  done
  status=0
  output=$("$check" --root "$tree" --table "$tree/layers.txt") || status=$?
  if [ "$status" != "$want_status" ] || ! grep -qF -- "$want_output" <<<"$output"; then
    echo "FAILED: $row"
    echo "  exit $status, output:"
    sed 's/^/    /' <<<"$output"
    failed=1
  fi
done
exit $failed
