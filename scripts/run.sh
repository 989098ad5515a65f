#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
#
#   scripts/run.sh                        with a display: the desktop program
#                                         Tarkon, connected to a virtual KRV04;
#                                         without one: the command-line
#                                         demonstration against the virtual
#                                         KRV04, and the window rendered to a PNG
#   scripts/run.sh --simulate "Qmt Long"  the command-line demonstration, another virtual model
#   scripts/run.sh --port /dev/ttyUSB0    the command-line demonstration on a real sensor (or --port COM3)
#   scripts/run.sh ostrel                 with a display: Ostrel, connected to a virtual
#                                         board flipper; without one: its three tabs
#                                         rendered to PNG files
#
# Tarkon itself on a real sensor: build/run/tarkon/app/tarkon, then
# File > Connect... and the port (manufacturing mode: tarkon -QZX).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build/run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLRS_TESTS=OFF -DLRS_BENCH=OFF

cli="$root/build/run/tarkon/cli/tarkon-cli"
ostrel="$root/build/run/ostrel/ostrel"
if [ "${1:-}" = "ostrel" ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "== Ostrel on a virtual KRV04 Board Flipper (close the window to end)"
    exec env OSTREL_VIRTUAL_SENSOR=1 "$ostrel"
  fi
  echo "== Ostrel's tabs on a virtual KRV04 Board Flipper (no display: rendered offscreen)"
  QT_QPA_PLATFORM=offscreen "$ostrel" --screenshots "$root/build/run/ostrel-shots" 2>/dev/null
  ls "$root/build/run/ostrel-shots"/*.png
  exit 0
fi
tarkon="$root/build/run/tarkon/app/tarkon"
args=("$@")

if [ ${#args[@]} -eq 0 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$tarkon" ]; then
  echo "== Tarkon on a virtual KRV04 (close the window to end)"
  exec env TARKON_VIRTUAL_SENSOR=KRV04 "$tarkon"
fi

demo_args=("${args[@]}")
if [ ${#demo_args[@]} -eq 0 ]; then
  demo_args=(--simulate KRV04)
fi
# The settings file of this demonstration lives in the build tree.
demo_args=(--settings "$root/build/run/tarkon.ini" "${demo_args[@]}")

echo "== tarkon-cli ${demo_args[*]} info"
"$cli" "${demo_args[@]}" info
echo
echo "== tarkon-cli ${demo_args[*]} settings"
"$cli" "${demo_args[@]}" settings
echo
echo "== tarkon-cli ${demo_args[*]} watch --count 4"
"$cli" "${demo_args[@]}" watch --count 4

if [ ${#args[@]} -eq 0 ] && [ -x "$tarkon" ]; then
  echo
  echo "== Tarkon's window on a virtual KRV04 (no display: rendered offscreen)"
  shot="$root/build/run/tarkon-krv04.png"
  QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR=KRV04 TARKON_SCREENSHOT="$shot" "$tarkon" 2>/dev/null
fi
