#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer) in build/fuzz and runs them on copies of their seed corpora in
# fuzz/corpus/<target>/, so the committed corpora stay as they are.
#
#   scripts/fuzz.sh --ci                 each target for a short time (CI)
#   scripts/fuzz.sh --minutes N          each target for N minutes, one after
#                                        the other, with executions/s and totals
#   scripts/fuzz.sh --minutes N --target fuzz_scan_decode
#                                        one target only
#   scripts/fuzz.sh --build-only
#
# Any crash, sanitizer report or broken invariant fails the run; the input
# that caused it is left in build/fuzz/run/<target>/ as crash-* (or
# timeout-*, oom-*). Replay it with: build/fuzz/fuzz/<target> <file>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/ccache-env.sh"
build="$root/build/fuzz"

mode=""
minutes=0
only=""
ci_seconds=${FUZZ_CI_SECONDS:-8}
while [ $# -gt 0 ]; do
  case "$1" in
    --ci) mode=ci ;;
    --minutes) mode=long; minutes=$2; shift ;;
    --target) only=$2; shift ;;
    --build-only) mode=build ;;
    *) echo "usage: $0 --ci | --minutes N [--target NAME] | --build-only" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$mode" ] || { echo "usage: $0 --ci | --minutes N [--target NAME] | --build-only" >&2; exit 2; }

targets=(fuzz_reply_reader fuzz_settings_file fuzz_scan_decode fuzz_model_identification
         fuzz_number_reading fuzz_backup_file)
if [ -n "$only" ]; then targets=("$only"); fi

# Longest input each target is given: a scan read of several replies needs
# a few kilobytes, a model name reply 16 bytes, a field text a few hundred,
# a backup file a few kilobytes.
max_len() {
  case "$1" in
    fuzz_reply_reader) echo 8192 ;;
    fuzz_settings_file) echo 4096 ;;
    fuzz_scan_decode) echo 1024 ;;
    fuzz_model_identification) echo 64 ;;
    fuzz_number_reading) echo 1024 ;;
    fuzz_backup_file) echo 8192 ;;
  esac
}

command -v clang++ >/dev/null || { echo "clang++ missing: run scripts/install-deps.sh" >&2; exit 1; }
CC=clang CXX=clang++ cmake -S "$root" -B "$build" $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) -DLRS_WERROR=ON -DLRS_FUZZ=ON -DLRS_SANITIZE=ON -DLRS_UBSAN_FULL=ON \
  -DLRS_TESTS=OFF -DLRS_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
[ "$mode" = build ] && exit 0

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for t in "${targets[@]}"; do
  run="$build/run/$t"
  rm -rf "$run"
  mkdir -p "$run/corpus"
  if [ -d "$root/fuzz/corpus/$t" ]; then cp -r "$root/fuzz/corpus/$t/." "$run/corpus/"; fi
  if [ "$mode" = ci ]; then seconds=$ci_seconds; else seconds=$((minutes * 60)); fi
  echo "== $t: ${seconds} s on $(ls "$run/corpus" | wc -l) seed inputs"
  status=0
  (cd "$run" && "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len="$(max_len "$t")" -print_final_stats=1 -artifact_prefix="$run/" corpus \
      >"$run/log" 2>&1) || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/log" | tail -n 1)
  echo "   executions: ${runs:-?} in ${seconds} s, ${rate:-?}/s, corpus now $(ls "$run/corpus" | wc -l)"
  if [ $status -ne 0 ]; then
    echo "   FAILED (exit $status): see $run/log" >&2
    grep -E "invariant failed|ERROR:|runtime error|SUMMARY" "$run/log" | head -5 >&2 || true
    ls "$run"/crash-* "$run"/timeout-* "$run"/oom-* 2>/dev/null >&2 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran clean"
