#!/usr/bin/env bash
# Renders offscreen into docs/screenshots/: Tarkon's main window, connected
# to a virtual sensor of each model with the panel's diagnostics switched on,
# and the model's settings dialog (two PNGs per model; each window polls for
# 12 s first, so its range chart has something to show); Tarkon's protocol
# trace pane; the upload dialog before, during and after a transfer; the
# start page with two last ports, and a KRV04 in a dark palette; the first
# page of a commissioning report (tarkon-cli's PDF, made a PNG by pdftoppm);
# "Parameters" pane connected, in file mode, and with a file beside a sensor,
# and the window with the pane open in its place;
# the bar of a lost link; the line view of a bus of eight sensors; Ostrel's three tabs, connected to a virtual board
# flipper, and its firmware upload before, during and after the transfer.
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
  stem="$out/tarkon-$(echo "$model" | tr 'A-Z ' 'a-z-')"
  XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR="$model" TARKON_SCREENSHOT="$stem.png" \
    TARKON_SETTINGS_SCREENSHOT="$stem-settings.png" TARKON_SCREENSHOT_DELAY_MS=12000 "$tarkon" 2>/dev/null
done

# The window at its first size with the "Parameters" pane open in its place.
XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR=KRV04 TARKON_PARAMETERS_PANE=1 \
  TARKON_SCREENSHOT="$out/tarkon-krv04-parameters-open.png" TARKON_SCREENSHOT_DELAY_MS=3000 "$tarkon" 2>/dev/null

# The "Protocol trace" pane of the Tools menu, with the frames of a connect.
XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR=KRV04 TARKON_TRACE_PANE=1 \
  TARKON_SCREENSHOT="$out/tarkon-protocol-trace.png" "$tarkon" 2>/dev/null

# The start page before a connection, with the last ports a technician
# used (kept in the per-user profile), and the window in a dark palette.
start_profile=$(mktemp -d)
trap 'rm -rf "$profile" "$start_profile"' EXIT
mkdir -p "$start_profile/NRD"
printf '[Recent%%20Ports]\nPorts="57600,1,/dev/ttyUSB0", "19200,7,COM2"\n' >"$start_profile/NRD/Tarkon.conf"
XDG_CONFIG_HOME="$start_profile" QT_QPA_PLATFORM=offscreen TARKON_SCREENSHOT="$out/tarkon-start-page.png" \
  TARKON_SCREENSHOT_DELAY_MS=500 "$tarkon" 2>/dev/null
XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_PALETTE=dark TARKON_VIRTUAL_SENSOR=KRV04 \
  TARKON_SCREENSHOT="$out/tarkon-krv04-dark.png" TARKON_SCREENSHOT_DELAY_MS=12000 "$tarkon" 2>/dev/null

# The bar over the main area once the line is lost: the virtual sensor's
# line pulled after the window has polled for a while.
XDG_CONFIG_HOME="$profile" XDG_DATA_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR=KRV04 \
  TARKON_UNPLUG_SCREENSHOT="$out/tarkon-disconnected.png" TARKON_SCREENSHOT_DELAY_MS=6000 "$tarkon" 2>/dev/null

# The line view of a bus of eight virtual sensors (sensor-sim on a link of
# its own), one of which goes silent and one replaced by another sensor.
line_dir=$(mktemp -d)
"$root/build/run/sim/sensor-sim" --throttle --link "$line_dir/line" \
  --sensor "KRV02,address=3,serial=K0200003" --sensor "KRV02,address=4,serial=K0200004" \
  --sensor "Qmt Long,address=6,serial=QL000006" --sensor "KRV04,address=9,serial=K4000009,silent-after=150" \
  --sensor "KRV04,address=10,serial=K4000010" --sensor "Qmt Short,address=12,serial=QS000012,serial-after=100:QS000099" \
  --sensor "KRV04 Board Flipper,address=15,serial=BF000015" --sensor "KRV04 Board Flipper,address=16,serial=BF000016" \
  >/dev/null 2>&1 &
sim_pid=$!
sleep 1
XDG_CONFIG_HOME="$profile" XDG_DATA_HOME="$profile" QT_QPA_PLATFORM=offscreen \
  TARKON_LINE_VIEW_SCREENSHOT="$out/tarkon-line-view.png" TARKON_SCREENSHOT_DELAY_MS=40000 \
  "$tarkon" --port "$line_dir/line" 2>/dev/null
kill "$sim_pid"
rm -rf "$line_dir"

# The upload dialog of manufacturing mode before (with its question), during
# and after a transfer to a virtual sensor; its automatic backup goes to the
# private profile.
XDG_CONFIG_HOME="$profile" XDG_DATA_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR=KRV04 \
  TARKON_UPLOAD_SCREENSHOTS="$out/tarkon-upload" "$tarkon" 2>/dev/null

# A commissioning report of a virtual KRV04 with two changes in its history
# (the private profile's), its first PDF page as a PNG.
cli="$root/build/run/tarkon/cli/tarkon-cli"
report_env=(env XDG_CONFIG_HOME="$profile" XDG_DATA_HOME="$profile")
"${report_env[@]}" "$cli" --quiet --simulate KRV04 set Threshold 60 >/dev/null
"${report_env[@]}" "$cli" --quiet --simulate KRV04 set "Min. Laser Power" 20 >/dev/null
"${report_env[@]}" "$cli" --quiet --simulate KRV04 report "$profile/report.pdf" --technician "Dana Field" \
  --notes "Line 3, board edger, left side. Window cleaned, range checked against the gauge block." >/dev/null
pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$profile/report.pdf" "$out/tarkon-commissioning-report"
# The "Parameters" pane: the connected sensor's rows; a settings file edited
# offline with no sensor (file mode); the same file beside the sensor, the
# edited rows marked as differing.
settings="$profile/krv04-settings.json"
"$cli" --settings "$profile/tarkon.ini" --simulate KRV04 backup "$settings" >/dev/null 2>&1
"$cli" --settings "$profile/tarkon.ini" edit "$settings" Threshold 99 >/dev/null
"$cli" --settings "$profile/tarkon.ini" edit "$settings" "Max. Volts" 4.5 >/dev/null
XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR=KRV04 \
  TARKON_SCREENSHOT="$profile/window.png" TARKON_PARAMETERS_SCREENSHOT="$out/tarkon-parameters.png" "$tarkon" 2>/dev/null
XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_OPEN_SETTINGS_FILE="$settings" \
  TARKON_SCREENSHOT="$profile/window.png" TARKON_PARAMETERS_SCREENSHOT="$out/tarkon-parameters-file.png" "$tarkon" 2>/dev/null
XDG_CONFIG_HOME="$profile" QT_QPA_PLATFORM=offscreen TARKON_VIRTUAL_SENSOR=KRV04 TARKON_OPEN_SETTINGS_FILE="$settings" \
  TARKON_SCREENSHOT="$profile/window.png" TARKON_PARAMETERS_SCREENSHOT="$out/tarkon-parameters-file-and-sensor.png" \
  "$tarkon" 2>/dev/null

# Ostrel keeps Ostrel.ini beside itself or in the per-user folder: the
# private profile keeps the pictures free of this machine's settings. Its
# upload's backup and change-history line go to the profile as well.
XDG_CONFIG_HOME="$profile" XDG_DATA_HOME="$profile" QT_QPA_PLATFORM=offscreen "$root/build/run/ostrel/ostrel" \
  --screenshots "$out" 2>/dev/null
