#!/usr/bin/env bash
# The tests of the threads under ThreadSanitizer: the worker thread base,
# the poll worker, the document's poll tick path (connect starts the
# worker, its notice wakes the user-interface thread, which takes the tick,
# polls and reports it handled; disconnect and close stop the worker), and
# the protocol trace log that a bus scan's thread writes into, and a firmware
# upload whose transfer runs on a thread of its own while it is stopped,
# the serial port monitor's thread (started, woken by events, stopped), and
# the session thread that the exchanges wait on while the window's loop runs,
# and the fleet's scans and applies of several lines at once (a thread each).
# Any data race or lock-order report fails the run.
#   scripts/test-tsan.sh            build/tsan, as many jobs as cores
#   LRS_JOBS=2 scripts/test-tsan.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/ccache-env.sh"
dir="$root/build/tsan"
jobs=${LRS_JOBS:-$(nproc)}

cmake -S "$root" -B "$dir" $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) -DLRS_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DLRS_BENCH=OFF \
  -DLRS_WERROR=ON >/dev/null
cmake --build "$dir" -j "$jobs" --target thread_tests

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
# ThreadSanitizer cannot map its shadow memory with the widest address
# randomisation some kernels use; without randomisation it always can.
runner=()
if setarch "$(uname -m)" -R true 2>/dev/null; then runner=(setarch "$(uname -m)" -R); fi

cd "$dir"
"${runner[@]}" ctest --output-on-failure -j "$jobs" --no-tests=error \
  -R '^(WorkerThread|PollWorker|PollTickPath|TraceLog|PortMonitor|ExchangeSession|SeveralLines|SeveralLinesApply)\.|PollTicks|CloseStopsPolling|StopFromTheWindowThread'
