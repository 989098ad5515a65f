#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: connect to a
# sensor, show its identity, its settings and a few live states.
#
#   scripts/run.sh                      against the virtual sensor (KRV04)
#   scripts/run.sh --simulate "Qmt Long"  another virtual model
#   scripts/run.sh --port /dev/ttyUSB0  against a real sensor (or --port COM3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build/run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLRS_TESTS=OFF -DLRS_BENCH=OFF

cli="$root/build/run/cli/tarkon-cli"
args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  args=(--simulate KRV04)
fi
# The settings file of this demonstration lives in the build tree.
args=(--settings "$root/build/run/tarkon.ini" "${args[@]}")

echo "== tarkon-cli ${args[*]} info"
"$cli" "${args[@]}" info
echo
echo "== tarkon-cli ${args[*]} settings"
"$cli" "${args[@]}" settings
echo
echo "== tarkon-cli ${args[*]} watch --count 4"
"$cli" "${args[@]}" watch --count 4
