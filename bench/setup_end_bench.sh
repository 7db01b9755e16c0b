#!/usr/bin/env bash
# The time from the setup program's end to the game's start, with the whole
# installer under Xvfb ($DISPLAY must be set) against the sandbox services and
# the sample setup program (1 s of work). The sample setup stamps its end
# (CLOCK_REALTIME) as its very last act and the sample game its start as its
# very first; the difference is what the installer adds. Called by
# scripts/bench.sh.
#   setup_end_bench.sh <release-build> <work-folder> [runs]
# ZK_BENCH_INSTALLER names another installer program to measure with the same
# sample programs (a build of an earlier version, for a before/after).
set -euo pipefail
build=$1
work=$2/setup-end
runs=${3:-9}
source=$(cd "$(dirname "$0")/.." && pwd)
source "$source/scripts/lib-session.sh"
pids=()
trap stop_started EXIT
installer=${ZK_BENCH_INSTALLER:-$build/platform/gtk/SelectLanguage}

rm -rf "$work"
mkdir -p "$work/bin" "$work/files/setup"
cp "$installer" "$work/bin/SelectLanguage"
for language in EN SC TC RU JP; do cp "$build/tools/sample/ZKSetup" "$work/files/setup/ZKSetup_$language.exe"; done
clientip_bind=127.0.0.1
[ "$(id -u)" -eq 0 ] && clientip_bind=127.0.0.2
sign_options "$build"
start_sandbox "$work" python3 "$source/tools/sandbox/sandbox.py" --files "$work/files" --client-ip-bind "$clientip_bind" \
  "${sign_options[@]}"
use_sandbox_services
export ZK_SETUP_SECONDS=1
log() { progress_log "$work/run/ZK_Progress_Installer.log"; }

gaps=()
for run in $(seq "$runs"); do
  rm -rf "$work/run" "$work/games" "$work/registry"
  mkdir -p "$work/run"
  export ZK_GAME_DIR="$work/games" ZK_REGISTRY_ROOT="$work/registry"
  (cd "$work/run" && exec "$work/bin/SelectLanguage") &
  app=$!
  pids+=($app)
  window=$(find_window 'Select language')
  for _ in $(seq 300); do log | grep -q 'Game settings file was successfully downloaded' && break; sleep 0.05; done
  sleep 0.3
  # Install at a random phase of the 2 s timer, as a user would.
  sleep "$((RANDOM % 2)).$((RANDOM % 10))"
  xdotool mousemove --window "$window" 160 124 click 1
  for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
  wait "$app" 2>/dev/null || true
  unset 'pids[-1]'
  for _ in $(seq 100); do [ -s "$work/games/ZKGame/started.txt" ] && break; sleep 0.05; done
  ended=$(sort -n "$work/games/setup-ended.txt" 2>/dev/null | tail -n 1 | cut -d' ' -f1)
  started=$(cut -d' ' -f3 "$work/games/ZKGame/started.txt" 2>/dev/null | head -n 1)
  if [ -z "$ended" ] || [ -z "$started" ]; then
    echo "run $run: no stamps (the installation did not complete)"
    continue
  fi
  gaps+=($(((started - ended) / 1000)))
done
[ "${#gaps[@]}" -gt 0 ] || { echo "no run completed"; exit 1; }
sorted=($(printf '%s\n' "${gaps[@]}" | sort -n))
median=${sorted[$((${#sorted[@]} / 2))]}
echo "setup's end to the game's start, µs: ${gaps[*]}"
echo "median ${median} µs, range ${sorted[0]}–${sorted[-1]} µs (${#gaps[@]} runs; the timer's period is 2,000,000 µs)"
