#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug
ctest --preset debug
# The Windows targets, and their tests under wine64. ZK_SKIP_WINDOWS=1
# leaves them out of a quick local run; CI always runs them.
if [ "${ZK_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "The Windows stage was skipped (ZK_SKIP_WINDOWS=1)."
else
  scripts/test-windows.sh
fi
