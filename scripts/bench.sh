#!/usr/bin/env bash
# Installs what is missing, builds a Release tree in build/bench and runs the
# benchmarks. Each prints its figure beside the physical limit of the same
# run (the line time of the bytes that crossed the line, or the waits the
# procedure makes on purpose).
#
#   scripts/bench.sh                    every benchmark
#   scripts/bench.sh scan upload        some of them: query scan upload idle startup log ostrel ostrelpoll busscan lineview linewindow gateway chart gap report
#
# Exit status 0 when every benchmark ran and met its target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build/bench"
# Release at -O2: at -O3, GCC 12 reports a false -Wrestrict inside
# std::string's operator+, which -Werror turns into a failed build.
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DLRS_TESTS=OFF -DLRS_BENCH=ON

wanted=("$@")
if [ ${#wanted[@]} -eq 0 ]; then
  wanted=(query scan upload idle startup log ostrel busscan lineview linewindow gateway chart gap report)
fi

echo "== $(date -u '+%Y-%m-%d %H:%M:%S UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
failed=()
for name in "${wanted[@]}"; do
  case "$name" in
    query)   cmd=("$build/bench/bench_query_roundtrip") ;;
    scan)    cmd=("$build/bench/bench_scan_buffer" --baud 57600 --baud 9600) ;;
    upload)  cmd=("$build/bench/bench_firmware_upload") ;;
    idle)    cmd=("$build/bench/bench_idle_cost") ;;
    startup) cmd=("$build/bench/bench_startup") ;;
    log)     cmd=("$build/bench/bench_log_append") ;;
    ostrel)  cmd=("$build/bench/bench_ostrel") ;;
    ostrelpoll) cmd=("$build/bench/bench_ostrel" --skip-idle --skip-upload --skip-unplug --poll) ;;
    busscan) cmd=("$build/bench/bench_bus_scan" --baud 57600 --baud 9600) ;;
    lineview) cmd=("$build/bench/bench_line_view" --baud 57600 --baud 9600) ;;
    linewindow) cmd=("$build/bench/bench_line_view_window") ;;
    gateway) cmd=("$build/bench/bench_gateway") ;;
    chart)   cmd=("$build/bench/bench_range_chart") ;;
    gap)     cmd=("$build/bench/bench_event_loop_gap") ;;
    report)  cmd=("$build/bench/bench_report") ;;
    *) echo "unknown benchmark '$name' (query scan upload idle startup log ostrel ostrelpoll busscan lineview linewindow gateway chart gap report)" >&2; exit 2 ;;
  esac
  echo
  echo "\$ ${cmd[*]#"$root/"}"
  if ! "${cmd[@]}"; then
    failed+=("$name")
  fi
done

echo
if [ ${#failed[@]} -eq 0 ]; then
  echo "== every benchmark ran and met its target"
else
  echo "== missed a target or could not run: ${failed[*]}"
  exit 1
fi
