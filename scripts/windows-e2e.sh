#!/usr/bin/env bash
# tarkon-cli.exe under Wine against sensor-sim through a Wine COM port:
# Wine's dosdevices/com5 links to the pseudo-terminal of a sensor-sim, and
# the Windows program opens COM5 with the Win32 calls. Each command runs
# the same way with the Linux tarkon-cli against a second, identical
# sensor-sim: exit status and standard output must be the same (the port's
# name aside), and the sensor must have been changed the same way.
# Then the same through a serial device server: ser2net on 127.0.0.1 in
# front of two more sensor-sims (each side its own), reached over RFC 2217
# and raw TCP with Winsock on the Windows side (skipped, and said so,
# without /usr/sbin/ser2net).
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
# start_sensor NAME [sensor-sim options...]
start_sensor() {
  local name=$1
  shift
  "$sim" --model KRV02 --link "$work/$name" "$@" >"$work/$name.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -L "$work/$name" ] && return 0; sleep 0.05; done
  echo "windows-e2e: sensor-sim did not start: $(cat "$work/$name.log")" >&2
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
  # Through a gateway each side names its own: both become GATEWAY.
  local wnet=() lnet=()
  [ -z "${wgateway:-}" ] || wnet=(-e "s|$wgateway|GATEWAY|g")
  [ -z "${lgateway:-}" ] || lnet=(-e "s|$lgateway|GATEWAY|g")
  local ws=0 ls=0
  (cd "$work" && "$wine" "$exe" --port "$wport" --settings 'Z:'"$work"'\win.ini' "${wargs[@]}") \
    >"$work/w.out" 2>"$work/w.err" </dev/null || ws=$?
  (cd "$work" && "$linux_cli" --port "$lport" --settings "$work/lin.ini" "${largs[@]}") \
    >"$work/l.out" 2>"$work/l.err" </dev/null || ls=$?
  # Known differences of the platforms, not of the program: the port's
  # device name is shown beside COMn, and the automatic backup folder
  # follows HOME, which Wine leaves unset. Each side's port is PORT (and
  # the gateway's address in it GATEWAY).
  tr -d '\r' <"$work/w.out" | sed "${wnet[@]}" -e "s|$wport|PORT|g" -e 's/ (\\\\\.\\PORT)//' \
    -e 's|to [^ ]*/tarkon/backups/|to BACKUPS/|' -e "s|$(winepath_dir | sed 's/\\/\\\\/g')|FILES|g" \
    -e 's/[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]T[0-9]*Z/TIME/g' -e 's/retries, [0-9.]* s$/retries, T s/' >"$work/w.norm"
  sed "${lnet[@]}" -e "s|$work/lin-files|FILES|g" -e "s|$lport|PORT|g" \
    -e 's|to [^ ]*/tarkon/backups/|to BACKUPS/|' \
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
wport=COM5
lport=$work/lin
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

# ---------------------------------------------------------------- gateways
ser2net=/usr/sbin/ser2net
if [ ! -x "$ser2net" ]; then
  echo "windows-e2e: ser2net is not installed (scripts/install-deps.sh installs it): gateway commands skipped"
  echo "windows-e2e: $passed commands the same on Windows and Linux"
  exit $failed
fi
# Four free ports on 127.0.0.1: each side's sensor behind an RFC 2217 and
# a raw TCP accepter.
read -r wtelnet wraw ltelnet lraw < <(python3 -c '
import socket
held = [socket.socket() for _ in range(4)]
for s in held: s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in held))')
listening() { grep -q "0100007F:$(printf '%04X' "$1") 00000000:0000 0A" /proc/net/tcp; }
# Throttled sensors: the line's own pace, and a baud rate that did not
# reach the pseudo-terminal shows (the sensor checks the host's rate).
start_sensor wnet --throttle
start_sensor lnet --throttle
{
  echo '%YAML 1.1'
  echo '---'
  for side in w l; do
    t=${side}telnet r=${side}raw
    telnet=${!t} raw=${!r}
    echo "connection: &${side}rfc2217"
    echo "  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,$telnet"
    echo "  connector: serialdev(nouucplock),$work/${side}net,57600n81,local"
    echo "connection: &${side}raw"
    echo "  accepter: tcp(nodelay),127.0.0.1,$raw"
    echo "  connector: serialdev(nouucplock),$work/${side}net,57600n81,local"
  done
} >"$work/ser2net.yaml"
"$ser2net" -n -d -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 </dev/null &
pids+=($!)
for _ in $(seq 200); do
  listening "$wtelnet" && listening "$wraw" && listening "$ltelnet" && listening "$lraw" && break
  sleep 0.05
done
if ! listening "$lraw"; then
  echo "windows-e2e: ser2net did not listen: $(cat "$work/ser2net.log")" >&2
  exit 1
fi

# The image is all 0xFF bytes: each is doubled on the telnet line.
head -c 1536 /dev/zero | tr '\0' '\377' >"$work/win-files/ff.bin"
cp "$work/win-files/ff.bin" "$work/lin-files/ff.bin"
for scheme in rfc2217 tcp; do
  if [ "$scheme" = rfc2217 ]; then wp=$wtelnet lp=$ltelnet; else wp=$wraw lp=$lraw; fi
  wgateway=127.0.0.1:$wp lgateway=127.0.0.1:$lp
  wport=$scheme://$wgateway lport=$scheme://$lgateway
  echo "== tarkon-cli.exe through ser2net, $scheme:// =="
  run "$scheme info" info
  run "$scheme set" set Threshold 61
  run "$scheme settings" settings
  run "$scheme upload of 0xFF bytes" --manufacturing --yes upload dsp @DIR@/ff.bin
  if [ "$scheme" = rfc2217 ]; then
    # The rate travels to the gateway: the sensor answers at 19200 only.
    run "$scheme baud" baud 19200
    run "$scheme info at 19200" --baud 19200 info
    want=1 run "$scheme info at 57600 finds none" --baud 57600 info
    run "$scheme baud back" --baud 19200 baud 57600
  else
    # The gateway keeps its own rate: asked first, refused without a yes.
    want=2 run "$scheme baud refused" baud 38400
  fi
  run "$scheme backup" backup @DIR@/$scheme-backup.json
  if ! cmp -s <(tr -d '\r' <"$work/win-files/$scheme-backup.json" | sed -e "s|$wgateway|GATEWAY|g" -e 's/"time": "[^"]*"/TIME/') \
              <(sed -e "s|$lgateway|GATEWAY|g" -e 's/"time": "[^"]*"/TIME/' "$work/lin-files/$scheme-backup.json"); then
    echo "FAILED: the backup files made through $scheme:// differ"
    diff <(tr -d '\r' <"$work/win-files/$scheme-backup.json") "$work/lin-files/$scheme-backup.json" | head -20
    failed=1
  fi
done
# A gateway that is not there: the same failure on both sides, and the
# Windows side names the gateway in its reason as the Linux side does.
wport=tcp://127.0.0.1:$wtelnet lport=tcp://127.0.0.1:$wtelnet wgateway= lgateway=
kill "$(cat "$work/ser2net.pid")" 2>/dev/null || true
for _ in $(seq 100); do listening "$wtelnet" || break; sleep 0.05; done
want=1 run "no gateway listening" info
if ! tr -d '\r' <"$work/w.err" | grep -q "the gateway 127.0.0.1:$wtelnet refused the connection"; then
  echo "FAILED: no gateway listening: the Windows side does not say the gateway refused"
  tr -d '\r' <"$work/w.err" | sed 's/^/    /' | head -5
  failed=1
fi
echo "windows-e2e: $passed commands the same on Windows and Linux"
exit $failed
