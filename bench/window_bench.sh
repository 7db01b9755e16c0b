#!/usr/bin/env bash
# Time from exec to the installer's window on screen, against a bare GTK
# window with a combo box, with the region services answering, refusing and
# silent. Runs alternate between the two programs; medians. $DISPLAY must be
# set. Called by scripts/bench.sh.
#   window_bench.sh <release-build> <work-folder> [runs]
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2
runs=${3:-9}
source=$(cd "$(dirname "$0")/.." && pwd)
source "$source/scripts/lib-session.sh"
pids=()
trap stop_started EXIT
mkdir -p "$work/win/run" "$work/win/registry" "$work/win/games"
clientip_bind=127.0.0.1
[ "$(id -u)" -eq 0 ] && clientip_bind=127.0.0.2
sign_options "$build"
start_sandbox "$work/win" python3 "$source/tools/sandbox/sandbox.py" --client-ip-bind "$clientip_bind" \
  --files "$work/win" "${sign_options[@]}"
use_sandbox_services
export ZK_REGISTRY_ROOT="$work/win/registry" ZK_GAME_DIR="$work/win/games"
control=$(port control)

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for mode in answering refusing silent; do
  case $mode in
    answering) fault=ok ;;
    refusing) fault=refused ;;
    silent) fault=stalled ;;
  esac
  for service in region clientip; do
    curl -fsS -X POST "http://127.0.0.1:$control/control/fault?service=$service&mode=$fault" >/dev/null
  done
  ours=() bare=()
  for _ in $(seq "$runs"); do
    private_runtime_dir "$(mktemp -u "$work/win/rt-XXXXXX")"  # a lock of its own for each run
    ours+=("$(cd "$work/win/run" && "$build/bench/window_probe" "Select language" "$build/platform/gtk/SelectLanguage")")
    bare+=("$(GDK_GL=disable "$build/bench/window_probe" "Select language" "$build/bench/bare_window")")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${bare[@]}" | median)
  printf '%-9s installer %7.1f ms  bare GTK window %6.1f ms  ratio %.2f (budget <= 1.2)\n' "$mode" "$o" "$b" \
    "$(awk -v o="$o" -v b="$b" 'BEGIN { print o / b }')"
  echo "          installer runs, ms: ${ours[*]}"
  echo "          bare runs, ms:      ${bare[*]}"
done
