#!/usr/bin/env bash
# The Windows window under wine64 and Xvfb at 96, 144 and 192 DPI (wine's
# LogPixels): at each, the window's own test (Win32DialogGeometry: its size,
# its controls' places and font at the layout times the scale, the buttons
# where they are drawn, and the same after a WM_DPICHANGED to every other
# scale), then the program itself, shown and photographed.
#   dpi_scales.sh <win-x64 build folder>   (WINEPREFIX set)
# ZK_GUI_SHOT names a folder to keep the screenshots in (wine-<dpi>.png).
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
source "$source/scripts/lib-session.sh"
build=$(cd "$1" && pwd)
wine=/usr/lib/wine/wine64
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
work=$(mktemp -d /tmp/zk-wine-dpi-XXXXXX)
pids=()
cleanup() {
  timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The display first: wine's desktop keeps the display it started on.
timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
start_display 1280x800x24
# Nothing answers: the window stays up, trying the configuration again.
export ZK_REGION_HOST=127.0.0.1:1 ZK_CLIENT_IP_HOST=127.0.0.1 ZK_CONFIG_HOST=127.0.0.1:1
passed=0
for dpi in 96 144 192; do
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
    fail "LogPixels was not set"
  timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
  (cd "$build/tests/windows" &&
    ZK_EXPECTED_DPI=$dpi timeout 120 "$wine" win_unit_tests.exe --gtest_brief=1 --gtest_filter='Win32DialogGeometry.*') ||
    fail "$dpi DPI: the window's test failed"

  rm -rf "$work/run" && mkdir -p "$work/run" && cp "$build/platform/win32/SelectLanguage.exe" "$work/run/"
  (cd "$work/run" && exec "$wine" SelectLanguage.exe) >/dev/null 2>&1 &
  app=$!
  pids+=($app)
  window=$(find_window 'Select language' 400)
  [ -n "$window" ] || fail "$dpi DPI: the program showed no window"
  sleep 2
  import -window root "$work/wine-$dpi.png"
  [ -n "${ZK_GUI_SHOT:-}" ] && mkdir -p "$ZK_GUI_SHOT" && cp "$work/wine-$dpi.png" "$ZK_GUI_SHOT/"
  echo "$dpi DPI: the program's window is $(xwininfo -id "$window" | sed -n 's/^ *Width: //p')x$(xwininfo -id "$window" | sed -n 's/^ *Height: //p') on screen"
  timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  passed=$((passed + 1))
done
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1 || true
echo "$passed passed, 0 failed"
