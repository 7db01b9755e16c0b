#!/usr/bin/env bash
# The sanitizer half of CI: the whole suite under AddressSanitizer with
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and
# each fuzz target for a short bounded time. Any report fails the run.
# The GUI tests need a display and stay in the plain run (scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${ZK_FUZZ_SECONDS:-30}

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

echo "== AddressSanitizer + UndefinedBehaviorSanitizer: every test but the GUI's"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize -LE gui

# The download worker, the configuration's worker, workers that are let go,
# the timed requests and their abandoned workers, the progress posting from
# the worker to the window, closing on a stall, and the setup program's
# watch and reaping threads.
echo "== ThreadSanitizer: the threaded tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target app_tests zk_net_live_tests workflow_tests zk_sample_setup zk_sample_game
ctest --preset tsan -LE gui \
  -R 'WorkerThread|WorkerProcessEnd|ConfigLoading|DownloadThread|DownloadProgress|TimedRequest|AbandonedWorkers|RegionCodeTest|Installs|AStalledDownload|RegionFaultTest.*Stalled|SetupEnd|SetupProgramTest|SetupCopyTest|AStartedProgramIsReaped'

echo "== fuzz targets, ${fuzz_seconds}s each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz/run.sh "$fuzz_seconds" build/fuzz/fuzz
