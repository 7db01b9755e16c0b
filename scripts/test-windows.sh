#!/usr/bin/env bash
# Builds both Windows programs and runs the Windows tests under wine64, in a
# wine prefix inside the build tree (its first start takes a few seconds):
# the import tables, Authenticode signing, the unit tests, then the network
# and end-to-end tests against the sandbox.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps-windows.sh
scripts/build-windows.sh

export WINEPREFIX=$PWD/build/wine-prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 300 "$wine" wineboot --init >/dev/null 2>&1
  # The prefix's first start leaves wine's desktop running without a display;
  # the tests that make windows need one that starts on theirs.
  timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
fi
status=0
# The import tables name only DLLs that Windows takes from its own folder,
# and the product holds no staging variable.
tests/windows/check_imports.sh build/product-win-i686/platform/win32/SelectLanguage.exe \
  build/win-x64/platform/win32/SelectLanguage.exe || status=$?
if grep -qaE 'ZK_(CONFIG|REGION|CLIENT_IP)_HOST|ZK_EXTRA_CA_BUNDLE' build/product-win-i686/platform/win32/SelectLanguage.exe; then
  echo "FAIL: the product program holds a staging variable's name"
  status=1
fi
# Every player downloads the product first: at most 1.0 MiB. Where its bytes
# go: bench/size_breakdown.py build/product-win-i686/platform/win32/SelectLanguage.map
size=$(stat -c %s build/product-win-i686/platform/win32/SelectLanguage.exe)
if [ "$size" -gt 1048576 ]; then
  echo "FAIL: the product program is $size bytes, over 1.0 MiB (1048576 bytes)"
  status=1
else
  echo "The product program is $size bytes (at most 1048576)."
fi
# Authenticode: a copy of the product signed with a throwaway certificate.
tests/windows/authenticode.sh build/product-win-i686/platform/win32/SelectLanguage.exe || status=$?
# The unit tests get a display of their own, since some of them make
# windows; wine's desktop keeps the display it started on, so wine stops
# before the display does.
(
  source scripts/lib-session.sh
  pids=()
  trap 'timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null; stop_started' EXIT
  start_display
  cd build/win-x64/tests/windows && timeout 600 "$wine" win_unit_tests.exe --gtest_brief=1
) || status=$?
# The window at 96, 144 and 192 DPI, with a screenshot at each.
timeout 600 tests/windows/dpi_scales.sh build/win-x64 || status=$?
# WinINet against the sandbox, then the whole installation in a
# window under Xvfb.
timeout 600 tests/windows/e2e/run.sh build/win-x64 || status=$?
timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
