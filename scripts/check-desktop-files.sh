#!/usr/bin/env bash
# Validates what the desktop sees of the two programs: their .desktop
# files (desktop-file-validate) and their software-centre entries
# (appstreamcli validate, offline). Any error or warning fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
desktop=("$root"/tarkon/app/*.desktop "$root"/ostrel/app/*.desktop)
metainfo=("$root"/tarkon/app/*.metainfo.xml "$root"/ostrel/app/*.metainfo.xml)
for f in "${desktop[@]}" "${metainfo[@]}"; do
  [ -f "$f" ] || { echo "missing: $f" >&2; exit 1; }
done
desktop-file-validate "${desktop[@]}"
appstreamcli validate --no-net "${metainfo[@]}"
echo "desktop files and metainfo valid: ${#desktop[@]} + ${#metainfo[@]}"
