#!/usr/bin/env bash
# Start-up of two builds of the Windows program (with the staging knobs:
# win-x64) under wine64 and Xvfb, run alternately (reference first, then
# ours first): the time from the start to the window on screen, polled
# every 5 ms, with the sandbox's services answering at once. WINEPREFIX must
# name an initialised prefix (scripts/test-windows.sh makes build/wine-prefix).
#   wine_startup_bench.sh <reference.exe> <ours.exe> [runs, 7]
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
source "$source/scripts/lib-session.sh"
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
wine=/usr/lib/wine/wine64
runs=${3:-7}
work=$(mktemp -d /tmp/zk-wine-start-XXXXXX)
pids=()
cleanup() {
  timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT
timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
start_display
clientip_bind=127.0.0.1
[ "$(id -u)" -eq 0 ] && clientip_bind=127.0.0.2
start_sandbox "$work" python3 "$source/tools/sandbox/sandbox.py" --client-ip-bind "$clientip_bind"
use_sandbox_services
"$wine" cmd /c exit >/dev/null 2>&1  # the wineserver and its services stay up from here

# One start: milliseconds to the visible window, then the program is ended.
start_once() {  # program
  rm -rf "$work/run" && mkdir -p "$work/run" && cp "$1" "$work/run/SelectLanguage.exe"
  local t0 t1 window=""
  t0=$(date +%s%N)
  (cd "$work/run" && exec "$wine" SelectLanguage.exe) >/dev/null 2>&1 &
  local app=$!
  for _ in $(seq 4000); do
    window=$(xdotool search --onlyvisible --name '^Select language$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.005
  done
  t1=$(date +%s%N)
  [ -n "$window" ] && xdotool windowclose "$window" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  [ -n "$window" ] || return 1
  echo $(((t1 - t0) / 1000000))
}

reference=() ours=()
start_once "$1" >/dev/null && start_once "$2" >/dev/null  # warm the file cache for both
for run in $(seq "$runs"); do
  if [ $((run % 2)) -eq 1 ]; then
    reference+=("$(start_once "$1")") ours+=("$(start_once "$2")")
  else
    ours+=("$(start_once "$2")") reference+=("$(start_once "$1")")
  fi
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
echo "start to visible window, ms: reference ${reference[*]} (median $(median "${reference[@]}")); ours ${ours[*]} (median $(median "${ours[@]}"))"
echo "ratio of the medians, ours / reference: $(python3 -c "print(f'{$(median "${ours[@]}") / $(median "${reference[@]}"):.2f}')")"
