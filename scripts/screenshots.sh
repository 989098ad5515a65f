#!/usr/bin/env bash
# Renders Tarkon's main window, connected to a virtual sensor of each model,
# offscreen into docs/screenshots/ (one PNG per model).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build/run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLRS_TESTS=OFF -DLRS_BENCH=OFF
tarkon="$root/build/run/tarkon/app/tarkon"
out="$root/docs/screenshots"
mkdir -p "$out"

# The window's pane sizes come from the per-user profile: a private one
# keeps the pictures the same on every machine.
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT

for model in KRV02 KRV04 "Qmt Long" "Qmt Short" "KRV04 Board Flipper"; do
  file="$out/tarkon-$(echo "$model" | tr 'A-Z ' 'a-z-').png"
  XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR="$model" TARKON_SCREENSHOT="$file" \
    "$tarkon" 2>/dev/null
done
