#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# CI (ZK_CI=1) builds the same tree with warnings as errors.
preset=${ZK_CI:+ci-}debug
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
# The Windows targets, and their tests under wine64. ZK_SKIP_WINDOWS=1
# leaves them out of a quick local run; CI always runs them.
if [ "${ZK_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "The Windows stage was skipped (ZK_SKIP_WINDOWS=1)."
else
  scripts/test-windows.sh
fi
