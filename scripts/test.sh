#!/usr/bin/env bash
# Installs what is missing, checks that every #include keeps the layers
# (scripts/check-layers.sh), validates the desktop files and metainfo
# (scripts/check-desktop-files.sh), then builds and runs the whole test suite:
#   1. optimized build of tarkon-cli and sensor-sim (the Windows stage
#      compares tarkon-cli.exe with the one and drives it with the other) and
#      the full-length fault soak; then the Windows build (mingw-w64), its
#      tests and tarkon-cli.exe end to end, under Wine (scripts/windows.sh);
#   2. ThreadSanitizer build, the tests of the threads (poll worker, worker thread);
#   3. the fuzz targets for a short time each on their seed corpora (clang, libFuzzer);
#   4. AddressSanitizer + UndefinedBehaviorSanitizer build, every test.
# Every test runs once, in step 4: a second, uninstrumented build of the
# whole suite doubled the time of a run on a fresh machine for no test the
# sanitizers do not also pass. Steps 1 to 3 compile the engine optimized
# (g++ and mingw-w64 g++), so its optimizer's warnings still stop the run.
# LRS_PLAIN_TESTS=1 builds everything in step 1 and runs the suite there too.
# Any failure or sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Each stage says how long it took, so that a slow run shows where.
run_start=$SECONDS
stage_name=""
stage_start=$SECONDS
stage() {
  if [ -n "$stage_name" ]; then echo "-- $stage_name: $((SECONDS - stage_start)) s"; fi
  stage_name=$1
  stage_start=$SECONDS
  if [ -n "$1" ]; then echo "== $1 =="; fi
}

stage "Packages (scripts/install-deps.sh)"
"$root/scripts/install-deps.sh"

jobs=$(( $(nproc) * 2 ))
# Debug information of line tables only: enough for the sanitizers' and a
# crash's stack lines, and a fifth less compile time than full -g.
lines_only=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")

stage "Layers (scripts/layers.txt)"
"$root/scripts/check-layers.sh"

stage "Platform headers (below serial/, sim/ and files/ only)"
"$root/scripts/check-platform-headers.sh"

stage "Desktop files and metainfo"
"$root/scripts/check-desktop-files.sh"

stage "Build (optimized): tarkon-cli, sensor-sim, and the fault soak at full length"
if [ "${LRS_PLAIN_TESTS:-0}" = 1 ]; then
  "$root/scripts/build.sh" "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}" -DLRS_BENCH=OFF
  (cd "$root/build/test" && ctest --output-on-failure -j "$jobs")
else
  LRS_TARGETS="tarkon-cli sensor-sim fault-soak" \
    "$root/scripts/build.sh" "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}" -DLRS_BENCH=OFF
  (cd "$root/build/test" && ctest --output-on-failure --no-tests=error -L soak)
fi

stage "Windows: cross build, tests and tarkon-cli.exe end to end under Wine"
"$root/scripts/windows.sh"

if [ -x "$root/scripts/test-tsan.sh" ]; then
  stage "Thread tests under ThreadSanitizer"
  "$root/scripts/test-tsan.sh"
fi

if [ -x "$root/scripts/fuzz.sh" ]; then
  stage "Fuzz targets (short run on the seed corpora)"
  "$root/scripts/fuzz.sh" --ci
fi

stage "Build (AddressSanitizer + UndefinedBehaviorSanitizer)"
"$root/scripts/build.sh" "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DLRS_SANITIZE=ON \
  -DLRS_BENCH=OFF
stage "Every test (AddressSanitizer + UndefinedBehaviorSanitizer)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build/asan" && ctest --output-on-failure -j "$jobs")
stage ""
echo "-- the whole run: $((SECONDS - run_start)) s"
