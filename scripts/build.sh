#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [cmake options...]
# LRS_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/ccache-env.sh"
dir=$1; shift
# ccache keeps the four build trees of the test run (plain, thread, fuzz,
# address sanitizer) and repeated runs cheap.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -DLRS_WERROR=ON "${launcher[@]}" "$@" >/dev/null
targets=()
if [ -n "${LRS_TARGETS:-}" ]; then
  read -r -a names <<<"$LRS_TARGETS"
  targets=(--target "${names[@]}")
fi
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
