#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# once as is, once with AddressSanitizer and UndefinedBehaviorSanitizer
# (any sanitizer report fails the run).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

jobs=$(( $(nproc) * 2 ))

echo "== Build and test (plain) =="
"$root/scripts/build.sh" "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build/test" && ctest --output-on-failure -j "$jobs")

echo "== Build and test (AddressSanitizer + UndefinedBehaviorSanitizer) =="
"$root/scripts/build.sh" "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DLRS_SANITIZE=ON -DLRS_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build/asan" && ctest --output-on-failure -j "$jobs")
