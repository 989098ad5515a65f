#!/usr/bin/env bash
# tarkon-cli.exe under Wine against sensor-sim through a Wine COM port:
# Wine's dosdevices/com5 links to the pseudo-terminal of a sensor-sim, and
# the Windows program opens COM5 with the Win32 calls. Each command runs
# the same way with the Linux tarkon-cli against a second, identical
# sensor-sim: exit status and standard output must be the same (the port's
# name aside), and the sensor must have been changed the same way.
#
#   scripts/windows-e2e.sh [WINDOWS_BUILD_DIR]   (default build/windows)
# Needs build/test/sim/sensor-sim and build/test/tarkon/cli/tarkon-cli.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wdir=${1:-$root/build/windows}
exe="$wdir/tarkon/cli/tarkon-cli.exe"
sim="$root/build/test/sim/sensor-sim"
linux_cli="$root/build/test/tarkon/cli/tarkon-cli"
for f in "$exe" "$sim" "$linux_cli"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "windows-e2e: missing $f" >&2; exit 1; }
done
export WINEPREFIX="$wdir/wineprefix"
export WINEDEBUG=-all
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -f "$WINEPREFIX/dosdevices/com5"
  rm -rf "$work"
}
trap cleanup EXIT

# Two identical sensors, each on its own pseudo-terminal.
start_sensor() {
  "$sim" --model KRV02 --link "$work/$1" >"$work/$1.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -L "$work/$1" ] && return 0; sleep 0.05; done
  echo "windows-e2e: sensor-sim did not start: $(cat "$work/$1.log")" >&2
  exit 1
}
start_sensor win
start_sensor lin
mkdir -p "$WINEPREFIX/dosdevices"
ln -sfn "$(readlink "$work/win")" "$WINEPREFIX/dosdevices/com5"

printf 'fake firmware image for the upload test\n%.0s' $(seq 8) >"$work/image.bin"  # 328 bytes
failed=0
passed=0
# run NAME ARGS...: the same command on both sides, outputs compared.
run() {
  local name=$1
  shift
  local wargs=() largs=()
  for a in "$@"; do
    wargs+=("${a//@DIR@/$(winepath_dir)}")
    largs+=("${a//@DIR@/$work/lin-files}")
  done
  local ws=0 ls=0
  (cd "$work" && "$wine" "$exe" --port COM5 --settings 'Z:'"$work"'\win.ini' "${wargs[@]}") \
    >"$work/w.out" 2>"$work/w.err" </dev/null || ws=$?
  (cd "$work" && "$linux_cli" --port "$work/lin" --settings "$work/lin.ini" "${largs[@]}") \
    >"$work/l.out" 2>"$work/l.err" </dev/null || ls=$?
  # Known differences of the platforms, not of the program: the port's
  # device name is shown beside COMn, and the automatic backup folder
  # follows HOME, which Wine leaves unset.
  tr -d '\r' <"$work/w.out" | sed -e 's/COM5/PORT/g' -e 's/ (\\\\\.\\PORT)//' \
    -e 's|to [^ ]*/tarkon/backups/|to BACKUPS/|' -e "s|$(winepath_dir | sed 's/\\/\\\\/g')|FILES|g" \
    -e 's/[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]T[0-9]*Z/TIME/g' -e 's/retries, [0-9.]* s$/retries, T s/' >"$work/w.norm"
  sed -e "s|$work/lin-files|FILES|g" -e "s|$work/lin|PORT|g" -e 's|to [^ ]*/tarkon/backups/|to BACKUPS/|' \
    -e 's/[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]T[0-9]*Z/TIME/g' -e 's/retries, [0-9.]* s$/retries, T s/' "$work/l.out" >"$work/l.norm"
  if [ "$ws" != "$ls" ] || [ "$ws" != "${want:-0}" ] || ! diff -u "$work/l.norm" "$work/w.norm" >"$work/diff"; then
    echo "FAILED: $name (Windows exit $ws, Linux exit $ls)"
    sed 's/^/  /' "$work/diff" | head -40
    echo "  Windows stderr:"; tr -d '\r' <"$work/w.err" | sed 's/^/    /' | head -20
    failed=1
  else
    passed=$((passed + 1))
    echo "ok: $name"
  fi
}
winepath_dir() { echo 'Z:'"${work//\//\\}"'\win-files'; }
mkdir -p "$work/win-files" "$work/lin-files"

echo "== tarkon-cli.exe against sensor-sim through a Wine COM port ($("$wine" --version)) =="
run info info
run settings settings
run set set Threshold 60
run settings-after-set settings
run backup backup @DIR@/backup.json
run set-again set Threshold 70
run restore restore @DIR@/backup.json
run settings-after-restore settings
# A fresh sensor's scan buffer is empty: the same refusal (exit 2) on both.
want=2 run scan-buffer-empty --json scan-buffer 5
cp "$work/image.bin" "$work/win-files/image.bin"
cp "$work/image.bin" "$work/lin-files/image.bin"
run upload --manufacturing --yes upload cal @DIR@/image.bin
run info-after-upload info
if ! cmp -s <(tr -d '\r' <"$work/win-files/backup.json" | sed -e 's/COM5/PORT/g' -e 's/"time": "[^"]*"/TIME/') \
            <(sed -e "s|$work/lin|PORT|g" -e 's/"time": "[^"]*"/TIME/' "$work/lin-files/backup.json"); then
  echo "FAILED: the backup files differ"
  diff <(tr -d '\r' <"$work/win-files/backup.json") "$work/lin-files/backup.json" | head -20
  failed=1
fi
echo "windows-e2e: $passed commands the same on Windows and Linux"
exit $failed
