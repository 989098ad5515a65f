#!/usr/bin/env bash
# The Windows build, cross-compiled here with Debian's mingw-w64 and tested
# under Wine:
#   1. installs what it needs (mingw-w64 with the posix thread model,
#      wine64, googletest sources, zip), only what is missing;
#   2. builds the core libraries, tarkon-cli.exe and the core test programs
#      (GoogleTest built from /usr/src/googletest) in build/windows;
#   3. runs every test program under Wine (scripts/windows-e2e.sh then runs
#      tarkon-cli.exe against sensor-sim through a Wine COM port, and
#      through ser2net on 127.0.0.1 over rfc2217:// and tcp://). The Linux
#      tarkon-cli and sensor-sim that stage compares with and drives come
#      from build/test; run alone on a fresh clone, this script builds them
#      there first (with the project's packages), as the test command's
#      first stage does.
#
#   scripts/windows.sh [--build-only] [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/ccache-env.sh"

build_only=0
if [ "${1:-}" = "--build-only" ]; then
  build_only=1
  shift
fi

packages=(g++-mingw-w64-x86-64-posix wine64 googletest zip)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

dir="$root/build/windows"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DLRS_WERROR=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
[ "$build_only" -eq 1 ] && exit 0

# Wine keeps its own prefix under the build tree: no desktop, no dialogs,
# nothing left in the user's home.
export WINEPREFIX="$dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -d "$WINEPREFIX" ]; then
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi

echo "== Windows test programs under Wine ($("$wine" --version)) =="
# A program that ran no test (all left out, or a start that printed
# nothing) fails the stage like a failed test: an empty run is no pass.
failed=0
programs=0
total=0
for test in "$dir"/tests/*_tests.exe; do
  [ -e "$test" ] || continue
  name=$(basename "$test")
  programs=$((programs + 1))
  if ! out=$("$wine" "$test" --gtest_brief=1 2>&1); then
    echo "$out"
    echo "FAILED: $name"
    failed=1
    continue
  fi
  summary=$(echo "$out" | tr -d '\r' | grep -E '^\[  PASSED  \] [0-9]+ tests?\.' | tail -n 1 || true)
  count=$(echo "$summary" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests*\..*/\1/p')
  if [ -z "$count" ] || [ "$count" -eq 0 ]; then
    echo "$out"
    echo "FAILED: $name ran no test"
    failed=1
    continue
  fi
  total=$((total + count))
  echo "$name: $summary"
done
if [ "$programs" -eq 0 ]; then
  echo "FAILED: no test program in $dir/tests"
  failed=1
fi
[ "$failed" -eq 0 ] || exit 1
echo "Windows tests: $total passed in $programs programs"

if [ -x "$root/scripts/windows-e2e.sh" ]; then
  if [ ! -x "$root/build/test/sim/sensor-sim" ] || [ ! -x "$root/build/test/tarkon/cli/tarkon-cli" ]; then
    echo "== Linux tarkon-cli and sensor-sim for the end-to-end comparison (build/test) =="
    "$root/scripts/install-deps.sh"
    LRS_TARGETS="tarkon-cli sensor-sim" \
      "$root/scripts/build.sh" "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DLRS_BENCH=OFF
  fi
  "$root/scripts/windows-e2e.sh" "$dir"
fi
